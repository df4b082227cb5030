#include "ipitemmode.h"
#include "iplist.h"

#include <QAbstractItemModelTester>
#include <QtTest>

namespace {

DeviceRecord device(const QString &mac, const QString &version,
                    const QString &ip = QStringLiteral("10.0.0.1"), quint32 cnt = 0)
{
    DeviceRecord r;
    r.version = version;
    r.ipways = QStringLiteral("static");
    r.ipaddr = ip;
    r.mask = QStringLiteral("255.255.255.0");
    r.gateway = QStringLiteral("10.0.0.254");
    r.mac = mac;
    r.dns1 = QStringLiteral("10.0.0.53");
    r.dns2 = QStringLiteral("10.0.0.54");
    r.extra = QStringLiteral("x");
    r.cnt = cnt;
    return r;
}

// A list wired to its model as in the program, with the model under the tester.
struct Fixture
{
    IpItemMode model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    IpList list{model};

    // What the GUI thread sees: the list row for row beside the model.
    QStringList rows() const
    {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r) {
            DeviceRecord rec;
            if (!list.getDevice(r, rec))
                return {QStringLiteral("missing row %1").arg(r)};
            const QString shown = model.index(r, 0).data().toString() + QLatin1Char('|') +
                                  model.index(r, 1).data().toString() + QLatin1Char('|') +
                                  model.index(r, 2).data().toString();
            if (shown != rec.version + QLatin1Char('|') + rec.ipaddr + QLatin1Char('|') + rec.mac)
                return {QStringLiteral("row %1 shows %2").arg(r).arg(shown)};
            out << rec.mac;
        }
        return out;
    }
};

} // namespace

class tst_IpList : public QObject
{
    Q_OBJECT
private slots:
    void merge_data();
    void merge();
    void refreshKeepsOtherFieldsAndCellsApart();
    void addressChangeResetsViews();
    void ageing_data();
    void ageing();
    void replayedChangesKeepRowsInStep();
    void getDeviceOutOfRange_data();
    void getDeviceOutOfRange();
    void requestStackIsLastInFirstOut();
    void sameSettings_data();
    void sameSettings();
    void copyDeviceLeavesCount();
    void dumpFormat();
    void dumpSilentWhenDebugOff();
};

void tst_IpList::merge_data()
{
    QTest::addColumn<QVector<DeviceRecord>>("replies");
    QTest::addColumn<QStringList>("macs");
    QTest::addColumn<QStringList>("ips");

    const QString a = QStringLiteral("AA"), b = QStringLiteral("BB");
    const QString v1 = QStringLiteral("1.0"), v2 = QStringLiteral("2.0");
    const QString ip1 = QStringLiteral("10.0.0.1"), ip2 = QStringLiteral("10.0.0.2");

    QTest::newRow("first reply adds a row")
        << QVector<DeviceRecord>{device(a, v1, ip1)} << QStringList{a} << QStringList{ip1};
    QTest::newRow("same device again adds nothing")
        << QVector<DeviceRecord>{device(a, v1, ip1), device(a, v1, ip1)} << QStringList{a}
        << QStringList{ip1};
    QTest::newRow("new address rewrites the IP cell")
        << QVector<DeviceRecord>{device(a, v1, ip1), device(a, v1, ip2)} << QStringList{a}
        << QStringList{ip2};
    QTest::newRow("same mac, other version: second entry")
        << QVector<DeviceRecord>{device(a, v1, ip1), device(a, v2, ip2)} << QStringList{a, a}
        << QStringList{ip1, ip2};
    QTest::newRow("same version, other mac: second entry")
        << QVector<DeviceRecord>{device(a, v1, ip1), device(b, v1, ip2)} << QStringList{a, b}
        << QStringList{ip1, ip2};
    QTest::newRow("mac compared case-sensitively")
        << QVector<DeviceRecord>{device(QStringLiteral("aa"), v1), device(QStringLiteral("AA"), v1)}
        << QStringList{QStringLiteral("aa"), QStringLiteral("AA")} << QStringList{ip1, ip1};
    QTest::newRow("two sources, one identity: last answer wins")
        << QVector<DeviceRecord>{device(a, v1, ip1), device(b, v1, ip1), device(a, v1, ip2),
                                 device(a, v1, ip1)}
        << QStringList{a, b} << QStringList{ip1, ip1};
    QTest::newRow("empty texts are a device too")
        << QVector<DeviceRecord>{device({}, {}, {})} << QStringList{QString()} << QStringList{QString()};
}

void tst_IpList::merge()
{
    QFETCH(QVector<DeviceRecord>, replies);
    QFETCH(QStringList, macs);
    QFETCH(QStringList, ips);

    Fixture f;
    for (const DeviceRecord &r : replies)
        f.list.mergeDevice(r);
    f.list.applyPendingChanges();
    QCOMPARE(f.rows(), macs);
    for (int r = 0; r < ips.size(); ++r) {
        QCOMPARE(f.model.index(r, 1).data().toString(), ips[r]);
        QCOMPARE(f.model.index(r, 0).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    }
    QCOMPARE(f.list.workerCount(), macs.size());
}

void tst_IpList::refreshKeepsOtherFieldsAndCellsApart()
{
    Fixture f;
    f.list.mergeDevice(device(QStringLiteral("AA"), QStringLiteral("1"), QStringLiteral("10.0.0.1"), 1));
    f.list.applyPendingChanges();
    QSignalSpy resets(&f.model, &QAbstractItemModel::modelReset);

    DeviceRecord changed = device(QStringLiteral("AA"), QStringLiteral("1"), QStringLiteral("10.0.0.1"), 2);
    changed.ipways = QStringLiteral("dhcp");
    changed.mask = QStringLiteral("255.0.0.0");
    changed.dns2 = QString();
    changed.extra = QStringLiteral("y");
    f.list.mergeDevice(changed);
    f.list.applyPendingChanges();

    DeviceRecord got;
    QVERIFY(f.list.getDevice(0, got));
    QCOMPARE(got, changed);
    QCOMPARE(resets.count(), 0); // only an address change touches the table
}

void tst_IpList::addressChangeResetsViews()
{
    Fixture f;
    QItemSelectionModel selection(&f.model);
    f.list.mergeDevice(device(QStringLiteral("AA"), QStringLiteral("1"), QStringLiteral("10.0.0.1")));
    f.list.mergeDevice(device(QStringLiteral("BB"), QStringLiteral("1"), QStringLiteral("10.0.0.2")));
    f.list.applyPendingChanges();
    selection.setCurrentIndex(f.model.index(1, 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    QSignalSpy resets(&f.model, &QAbstractItemModel::modelReset);
    f.list.mergeDevice(device(QStringLiteral("BB"), QStringLiteral("1"), QStringLiteral("10.0.0.9")));
    f.list.applyPendingChanges();

    QCOMPARE(resets.count(), 1);
    QCOMPARE(f.model.index(1, 1).data().toString(), QStringLiteral("10.0.0.9"));
    QVERIFY(!selection.currentIndex().isValid());
    QVERIFY(!selection.hasSelection());
}

void tst_IpList::ageing_data()
{
    QTest::addColumn<QVector<quint32>>("stamps"); // one device per stamp, mac "d<i>"
    QTest::addColumn<quint32>("count");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("age 4 goes, age 3 stays")
        << QVector<quint32>{1, 2} << 5u << QStringList{QStringLiteral("d1")};
    QTest::newRow("answered every time stays")
        << QVector<quint32>{7} << 8u << QStringList{QStringLiteral("d0")};
    QTest::newRow("stamp ahead of count wraps to a huge age") << QVector<quint32>{9} << 8u << QStringList{};
    QTest::newRow("wrap: count 2, stamp 2^32-1 is age 3")
        << QVector<quint32>{4294967295u} << 2u << QStringList{QStringLiteral("d0")};
    QTest::newRow("wrap: count 3, stamp 2^32-1 is age 4")
        << QVector<quint32>{4294967295u} << 3u << QStringList{};
    QTest::newRow("two adjacent stale entries both go")
        << QVector<quint32>{10, 1, 2, 10} << 10u << QStringList{QStringLiteral("d0"), QStringLiteral("d3")};
    QTest::newRow("stale at both ends")
        << QVector<quint32>{1, 10, 1} << 10u << QStringList{QStringLiteral("d1")};
    QTest::newRow("all stale") << QVector<quint32>{1, 2, 3} << 100u << QStringList{};
    QTest::newRow("empty list") << QVector<quint32>{} << 5u << QStringList{};
}

void tst_IpList::ageing()
{
    QFETCH(QVector<quint32>, stamps);
    QFETCH(quint32, count);
    QFETCH(QStringList, left);

    Fixture f;
    for (int i = 0; i < stamps.size(); ++i)
        f.list.mergeDevice(device(QStringLiteral("d%1").arg(i), QStringLiteral("1"), {}, stamps[i]));
    f.list.ageDevices(count);
    f.list.applyPendingChanges();
    QCOMPARE(f.rows(), left);
    QCOMPARE(f.list.workerCount(), left.size());

    // A removed device that answers again comes back as a new last row.
    if (left.size() < stamps.size()) {
        f.list.mergeDevice(device(QStringLiteral("back"), QStringLiteral("1"), {}, count));
        f.list.applyPendingChanges();
        QCOMPARE(f.rows(), left + QStringList{QStringLiteral("back")});
    }
}

void tst_IpList::replayedChangesKeepRowsInStep()
{
    // Many worker passes queued before the GUI thread gets to them: replayed in order, the
    // shown list and the model end where the worker is.
    Fixture f;
    quint32 count = 0;
    for (int round = 0; round < 40; ++round) {
        ++count;
        f.list.ageDevices(count);
        for (int d = 0; d < 30; ++d) {
            if ((d * 7 + round) % 5 == 0)
                continue; // this device misses this round
            f.list.mergeDevice(device(QStringLiteral("m%1").arg(d), QStringLiteral("1"),
                                      QStringLiteral("10.0.%1.%2").arg(d).arg(round % 3), count));
        }
        if (round % 4 == 3)
            f.list.applyPendingChanges();
    }
    f.list.applyPendingChanges();
    QCOMPARE(f.rows().size(), f.list.workerCount());
    QVERIFY(!f.rows().value(0).startsWith(QLatin1String("row")));
}

void tst_IpList::getDeviceOutOfRange_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("found");
    QTest::newRow("first") << 0 << true;
    QTest::newRow("last") << 2 << true;
    QTest::newRow("one past the end") << 3 << false;
    QTest::newRow("no current row (-1)") << -1 << false;
    QTest::newRow("65535") << 65535 << false;
    QTest::newRow("65536 is not row 0") << 65536 << false;
    QTest::newRow("huge") << std::numeric_limits<int>::max() << false;
    QTest::newRow("most negative") << std::numeric_limits<int>::min() << false;
}

void tst_IpList::getDeviceOutOfRange()
{
    QFETCH(int, row);
    QFETCH(bool, found);
    Fixture f;
    for (int i = 0; i < 3; ++i)
        f.list.mergeDevice(device(QStringLiteral("d%1").arg(i), QStringLiteral("1")));
    f.list.applyPendingChanges();

    DeviceRecord out = device(QStringLiteral("untouched"), QStringLiteral("u"));
    QCOMPARE(f.list.getDevice(row, out), found);
    QCOMPARE(out.mac, found ? QStringLiteral("d%1").arg(row) : QStringLiteral("untouched"));
}

void tst_IpList::requestStackIsLastInFirstOut()
{
    Fixture f;
    QVERIFY(!f.list.takeSetIpRequest());
    f.list.pushSetIpRequest(device(QStringLiteral("A"), QStringLiteral("1")));
    f.list.pushSetIpRequest(device(QStringLiteral("B"), QStringLiteral("1")));
    QCOMPARE(f.list.takeSetIpRequest()->mac, QStringLiteral("B"));
    f.list.pushSetIpRequest(device(QStringLiteral("C"), QStringLiteral("1")));
    QCOMPARE(f.list.takeSetIpRequest()->mac, QStringLiteral("C"));
    QCOMPARE(f.list.takeSetIpRequest()->mac, QStringLiteral("A"));
    QVERIFY(!f.list.takeSetIpRequest());
}

void tst_IpList::sameSettings_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("same");
    for (const char *f : {"version", "mac", "extra"})
        QTest::newRow(f) << QString::fromLatin1(f) << true;
    for (const char *f : {"ipways", "ipaddr", "mask", "gateway", "dns1", "dns2"})
        QTest::newRow(f) << QString::fromLatin1(f) << false;
}

void tst_IpList::sameSettings()
{
    QFETCH(QString, field);
    QFETCH(bool, same);
    const DeviceRecord rec = device(QStringLiteral("AA"), QStringLiteral("1"));
    SetIpRequest req = rec;
    QString *fields[] = {&req.version, &req.ipways, &req.ipaddr, &req.mask, &req.gateway,
                         &req.mac,     &req.dns1,   &req.dns2,   &req.extra};
    const char *names[] = {"version", "ipways", "ipaddr", "mask", "gateway", "mac", "dns1", "dns2", "extra"};
    for (int i = 0; i < 9; ++i)
        if (field == QLatin1String(names[i]))
            fields[i]->append(QLatin1Char('~'));
    QCOMPARE(IpList::sameSettings(rec, req), same);
    // Empty and null texts are the same text.
    DeviceRecord a = rec, b = rec;
    a.dns2 = QString();
    b.dns2 = QStringLiteral("");
    QVERIFY(IpList::sameSettings(a, b));
}

void tst_IpList::copyDeviceLeavesCount()
{
    const DeviceRecord rec = device(QStringLiteral("AA"), QStringLiteral("1"), QStringLiteral("1.2.3.4"), 42);
    SetIpRequest req;
    req.cnt = 7;
    IpList::copyDevice(rec, req);
    QCOMPARE(req.cnt, 7u);
    req.cnt = rec.cnt;
    QCOMPARE(req, rec);
}

namespace {
QStringList captured;
void capture(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    captured << msg;
}
} // namespace

void tst_IpList::dumpFormat()
{
    Fixture f;
    DeviceRecord d =
        device(QStringLiteral("00:11"), QStringLiteral("V\"1"), QStringLiteral("10.0.0.7"), 4294967295u);
    f.list.mergeDevice(d);

    captured.clear();
    QtMessageHandler old = qInstallMessageHandler(capture);
    f.list.printIpList();
    qInstallMessageHandler(old);

    const QStringList expected = {
        QStringLiteral("printIpList------------------------------------------------"),
        QStringLiteral("ip  0 ++++++++++++++++++++++++++"),
        QStringLiteral("version:  \"V\\\"1\""),
        QStringLiteral("ipways:  \"static\""),
        QStringLiteral("ipaddr:  \"10.0.0.7\""),
        QStringLiteral("mask:  \"255.255.255.0\""),
        QStringLiteral("gateway:  \"10.0.0.254\""),
        QStringLiteral("mac:  \"00:11\""),
        QStringLiteral("cnt:  4294967295"),
    };
    QCOMPARE(captured, expected);

    IpItemMode emptyModel;
    IpList empty(emptyModel);
    captured.clear();
    old = qInstallMessageHandler(capture);
    empty.printIpList();
    qInstallMessageHandler(old);
    QCOMPARE(captured, expected.mid(0, 1));

    // A long list (forged replies) is dumped in part, so the dump's cost stays bounded.
    for (int i = 1; i <= 70; ++i)
        f.list.mergeDevice(device(QStringLiteral("m%1").arg(i), QStringLiteral("1")));
    captured.clear();
    old = qInstallMessageHandler(capture);
    f.list.printIpList();
    qInstallMessageHandler(old);
    QCOMPARE(captured.size(), 1 + 64 * 8 + 1);
    QCOMPARE(captured.last(), QStringLiteral("... and 7 more"));
}

void tst_IpList::dumpSilentWhenDebugOff()
{
    Fixture f;
    f.list.mergeDevice(device(QStringLiteral("AA"), QStringLiteral("1")));
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    captured.clear();
    QtMessageHandler old = qInstallMessageHandler(capture);
    f.list.printIpList();
    qInstallMessageHandler(old);
    QLoggingCategory::setFilterRules(QString());
    QVERIFY(captured.isEmpty());
}

QTEST_GUILESS_MAIN(tst_IpList)
#include "tst_iplist.moc"
