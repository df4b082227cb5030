#include "ipitemmode.h"
#include "iplist.h"

#include <QAbstractItemModelTester>
#include <QtTest>

#include <optional>

using Field = QString DeviceRecord::*;
Q_DECLARE_METATYPE(Field)

namespace {

// "a,b,c" as a list; texts keep their blanks.
QStringList L(const char *items)
{
    return QString::fromUtf8(items).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

DeviceRecord device(const QString &mac, const QString &version = QStringLiteral("1"),
                    const QString &ip = QStringLiteral("10.0.0.1"), quint32 cnt = 0)
{
    const QString net = QStringLiteral("255.0.0.0");
    return {version, QStringLiteral("static"), ip, net, net, mac, net, net, QStringLiteral("x"), cnt};
}

// A list wired to its model as in the program, with the model under the tester.
struct Fixture
{
    IpItemMode model;
    IpList list{model};
    std::optional<QAbstractItemModelTester> tester{std::in_place, &model,
                                                   QAbstractItemModelTester::FailureReportingMode::QtTest};

    void merge(const QVector<DeviceRecord> &replies)
    {
        for (const DeviceRecord &r : replies)
            list.mergeDevice(r);
        list.applyPendingChanges();
    }
    QString cell(int row, int column) const { return model.index(row, column).data().toString(); }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << cell(r, c);
        return out;
    }
    // The MACs of the rows, each checked as the table shows it against what getDevice gives for it.
    QStringList rows() const
    {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r) {
            DeviceRecord rec;
            const bool same = list.getDevice(r, rec) && QStringList{rec.version, rec.ipaddr, rec.mac} ==
                                                            QStringList{cell(r, 0), cell(r, 1), cell(r, 2)};
            out << (same ? rec.mac : QStringLiteral("row %1 differs from its record").arg(r));
        }
        return out;
    }
    QStringList dump() const
    {
        static QStringList captured;
        captured.clear();
        const QtMessageHandler old = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &msg) { captured << msg; });
        list.printIpList();
        qInstallMessageHandler(old);
        return captured;
    }
};

} // namespace

class tst_IpList : public QObject
{
    Q_OBJECT
private slots:
    void merge_data();
    void merge();
    void ageing_data();
    void ageing();
    void getDevice_data();
    void getDevice();
    void burstOfSharedTexts();
    void rowRangesOutsideTheModelAreRefused();
    void requestStackIsLastInFirstOut();
    void settingsCompare_data();
    void settingsCompare();
    void dump();
};

void tst_IpList::merge_data()
{
    QTest::addColumn<QStringList>("replies"); // "mac version ip"
    QTest::addColumn<QStringList>("macs");
    QTest::addColumn<QStringList>("ips");
    QTest::addColumn<int>("resets");
    QTest::newRow("same device, same address: record refreshed, selection kept")
        << L("AA 1 10.0.0.1,AA 1 10.0.0.1") << L("AA") << L("10.0.0.1") << 0;
    QTest::newRow("new address: IP cell rewritten, views reset, selection dropped")
        << L("AA 1 10.0.0.1,AA 1 10.0.0.2") << L("AA") << L("10.0.0.2") << 1;
    QTest::newRow("same mac, other version: second entry")
        << L("AA 1 10.0.0.1,AA 2 10.0.0.2") << L("AA,AA") << L("10.0.0.1,10.0.0.2") << 0;
    QTest::newRow("same version, other mac: second entry")
        << L("AA 1 10.0.0.1,BB 1 10.0.0.2") << L("AA,BB") << L("10.0.0.1,10.0.0.2") << 0;
}

void tst_IpList::merge()
{
    QFETCH(QStringList, replies);
    QFETCH(QStringList, macs);
    QFETCH(QStringList, ips);
    QFETCH(int, resets);
    Fixture f;
    QItemSelectionModel selection(&f.model);
    QSignalSpy resetSpy(&f.model, &QAbstractItemModel::modelReset);
    DeviceRecord last;
    for (int i = 0; i < replies.size(); ++i) {
        const QStringList p = replies[i].split(QLatin1Char(' '));
        last = device(p[0], p[1], p[2], i);
        if (i > 0) // every other field changes too
            last.ipways = last.mask = last.extra = QStringLiteral("y");
        f.merge({last});
        if (i == 0)
            selection.setCurrentIndex(f.model.index(0, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QCOMPARE(f.rows(), macs);
    QCOMPARE(f.list.workerCount(), macs.size());
    QCOMPARE(f.column(1), ips);
    QCOMPARE(f.model.index(0, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    DeviceRecord got;
    QVERIFY(f.list.getDevice(macs.size() - 1, got));
    QCOMPARE(got, last);
    QCOMPARE(resetSpy.count(), resets);
    QCOMPARE(selection.hasSelection(), resets == 0);
}

void tst_IpList::ageing_data()
{
    QTest::addColumn<QVector<quint32>>("stamps"); // one device per stamp, mac "d<i>"
    QTest::addColumn<quint32>("count");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("age 4 goes, age 3 stays") << QVector<quint32>{1, 2} << 5u << L("d1");
    QTest::newRow("wrap: count 2, stamp 2^32-1 is age 3") << QVector<quint32>{4294967295u} << 2u << L("d0");
    QTest::newRow("wrap: count 3, stamp 2^32-1 is age 4") << QVector<quint32>{4294967295u} << 3u << L("");
    QTest::newRow("two adjacent stale entries go in one pass")
        << QVector<quint32>{10, 1, 2, 10} << 10u << L("d0,d3");
    QTest::newRow("stale at both ends") << QVector<quint32>{1, 10, 1} << 10u << L("d1");
    // From 1024 adjacent rows on, the model removes them inside one reset.
    QTest::newRow("a block of 1100 stale entries")
        << (QVector<quint32>{10} + QVector<quint32>(1100, 1) + QVector<quint32>{10, 9}) << 10u
        << L("d0,d1101,d1102");
}

void tst_IpList::ageing()
{
    QFETCH(QVector<quint32>, stamps);
    QFETCH(quint32, count);
    QFETCH(QStringList, left);
    Fixture f;
    f.tester.reset(); // its checks on each of a thousand appends would take seconds
    for (int i = 0; i < stamps.size(); ++i)
        f.list.mergeDevice(device(QStringLiteral("d%1").arg(i), QStringLiteral("1"), {}, stamps[i]));
    f.list.applyPendingChanges();
    f.tester.emplace(&f.model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.list.ageDevices(count);
    f.list.applyPendingChanges();
    QCOMPARE(f.rows(), left);
    QCOMPARE(f.list.workerCount(), left.size());

    // The index follows the entries that moved up: the last one still refreshes its own row, and a
    // removed device that answers again comes back as a new last row.
    const QString again = left.isEmpty() ? QStringLiteral("d0") : left.last();
    f.merge({device(again, QStringLiteral("1"), QStringLiteral("10.9.9.9"), count),
             device(QStringLiteral("back"))});
    QCOMPARE(f.rows(), (left.isEmpty() ? QStringList{again} : left) + L("back"));
    QCOMPARE(f.column(1).mid(f.model.rowCount() - 2), L("10.9.9.9,10.0.0.1"));
}

void tst_IpList::getDevice_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("found");
    QTest::newRow("first") << 0 << true;
    QTest::newRow("count") << 3 << false;
    QTest::newRow("no current row (-1)") << -1 << false;
    QTest::newRow("65536 is not row 0") << 65536 << false;
    QTest::newRow("INT_MIN") << std::numeric_limits<int>::min() << false;
}

void tst_IpList::getDevice()
{
    QFETCH(int, row);
    QFETCH(bool, found);
    Fixture f;
    f.merge({device(QStringLiteral("d0")), device(QStringLiteral("d1")), device(QStringLiteral("d2"))});
    QCOMPARE(f.list.count(), 3);
    DeviceRecord out = device(QStringLiteral("untouched"));
    QCOMPARE(f.list.getDevice(row, out), found);
    QCOMPARE(out.mac, found ? QStringLiteral("d%1").arg(row) : QStringLiteral("untouched"));
}

// The GUI thread applies the worker's changes in slices of a few ms: a burst that takes several
// slices must be applied whole without waiting for the worker's next change. Texts many devices
// send alike are held once; past the table's bound (thousands of versions) and after a change,
// every record still holds exactly what its device sent last.
void tst_IpList::burstOfSharedTexts()
{
    Fixture f;
    f.tester.reset(); // its checks on each append would take long
    QVector<DeviceRecord> replies;
    for (int i = 0; i < 20000; ++i) {
        replies << device(QStringLiteral("d%1").arg(i), QStringLiteral("V%1").arg(i % 1500));
        replies.last().gateway = QStringLiteral("10.0.%1.1").arg(i % 7);
        f.list.mergeDevice(replies.last());
    }
    QTRY_COMPARE_WITH_TIMEOUT(f.model.rowCount(), replies.size(), 10000);
    replies[5].gateway = QStringLiteral("10.9.9.9");
    replies[5].cnt = 1;
    f.merge({replies[5]});
    DeviceRecord got, other;
    for (int i = 0; i < replies.size(); ++i) {
        QVERIFY(f.list.getDevice(i, got));
        QCOMPARE(got, replies[i]);
    }
    QVERIFY(f.list.getDevice(7, other) && f.list.getDevice(0, got));
    QVERIFY(got.gateway.isSharedWith(other.gateway));
}

void tst_IpList::rowRangesOutsideTheModelAreRefused()
{
    Fixture f;
    f.merge({device(QStringLiteral("d0")), device(QStringLiteral("d1")), device(QStringLiteral("d2"))});
    // row + count would overflow into a range that looks valid.
    f.model.removeDeviceRows(1, std::numeric_limits<int>::max());
    f.model.removeDeviceRows(-1, 2);
    f.model.removeDeviceRows(2, 2);
    QCOMPARE(f.rows(), L("d0,d1,d2"));
}

void tst_IpList::requestStackIsLastInFirstOut()
{
    Fixture f;
    QVERIFY(!f.list.takeSetIpRequest());
    f.list.pushSetIpRequest(device(QStringLiteral("A")));
    f.list.pushSetIpRequest(device(QStringLiteral("B")));
    QCOMPARE(f.list.takeSetIpRequest()->mac, QStringLiteral("B"));
    f.list.pushSetIpRequest(device(QStringLiteral("C")));
    QCOMPARE(f.list.takeSetIpRequest()->mac, QStringLiteral("C"));
    QCOMPARE(f.list.takeSetIpRequest()->mac, QStringLiteral("A"));
    QVERIFY(!f.list.takeSetIpRequest());
}

void tst_IpList::settingsCompare_data()
{
    // Only the six settings fields make a request worth sending.
    QTest::addColumn<Field>("field");
    QTest::addColumn<bool>("same");
    QTest::newRow("version") << &DeviceRecord::version << true;
    QTest::newRow("mac") << &DeviceRecord::mac << true;
    QTest::newRow("extra") << &DeviceRecord::extra << true;
    QTest::newRow("ipways") << &DeviceRecord::ipways << false;
    QTest::newRow("ipaddr") << &DeviceRecord::ipaddr << false;
    QTest::newRow("mask") << &DeviceRecord::mask << false;
    QTest::newRow("gateway") << &DeviceRecord::gateway << false;
    QTest::newRow("dns1") << &DeviceRecord::dns1 << false;
    QTest::newRow("dns2") << &DeviceRecord::dns2 << false;
}

void tst_IpList::settingsCompare()
{
    QFETCH(Field, field);
    QFETCH(bool, same);
    DeviceRecord rec = device(QStringLiteral("AA"), QStringLiteral("1"), QStringLiteral("1.2.3.4"), 42);
    rec.dns2 = QString();
    SetIpRequest req;
    req.cnt = 7;
    IpList::copyDevice(rec, req);
    QCOMPARE(req.cnt, 7u);         // the request keeps its own count
    req.dns2 = QStringLiteral(""); // empty and null are the same text
    QVERIFY(IpList::sameSettings(rec, req));
    (req.*field).append(QLatin1Char('~'));
    QCOMPARE(IpList::sameSettings(rec, req), same);
}

void tst_IpList::dump()
{
    Fixture f;
    const QString heading = QStringLiteral("printIpList------------------------------------------------");
    QCOMPARE(f.dump(), QStringList{heading});

    f.list.mergeDevice(
        device(QStringLiteral("00:11"), QStringLiteral("V\"1"), QStringLiteral("10.0.0.7"), 4294967295u));
    // A flood of forged devices is dumped in part, so each dump's cost stays bounded.
    for (int i = 1; i <= 70; ++i)
        f.list.mergeDevice(device(QStringLiteral("m%1").arg(i)));
    const QStringList bounded = f.dump();
    QCOMPARE(bounded.size(), 1 + 64 * 8 + 1);
    QCOMPARE(bounded.mid(1, 3),
             L("ip  0 ++++++++++++++++++++++++++,version:  \"V\\\"1\",ipways:  \"static\""));
    QCOMPARE(bounded[8], QStringLiteral("cnt:  4294967295"));
    QCOMPARE(bounded.last(), QStringLiteral("... and 7 more"));

    // With the debug output off there is nothing to see.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const QStringList off = f.dump();
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(off, QStringList());
}

QTEST_GUILESS_MAIN(tst_IpList)
#include "tst_iplist.moc"
