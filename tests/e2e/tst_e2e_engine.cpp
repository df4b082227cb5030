// The discovery engine against simulated devices on one host interface.

#include "enginerig.h"
#include "protocol.h"
#include "simprocess.h"
#include "testnetwork.h"

#include <QSignalSpy>
#include <QTest>

namespace {

const QByteArray Discovery("@qxsrhip/all!");
constexpr qint64 Tick = 1000;
constexpr qint64 TickTolerance = 150;

} // namespace

class tst_E2eEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void discoveryAtOnceThenEverySecond();
    void devicesAreListed_data();
    void devicesAreListed();
    void silencedDeviceAgesOutAtTheFourthBroadcast();
    void setIpTakesTheNextTick_data();
    void setIpTakesTheNextTick();
    void everyReplyIsReadOnce_data();
    void everyReplyIsReadOnce();

private:
    void startSim(const QStringList &arguments);

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<Engine> m_engine;
};

void tst_E2eEngine::initTestCase()
{
    LANSCOUT_REQUIRE_TEST_NETWORK();
    QCOMPARE(testnet::hostAddresses(), QStringList{QStringLiteral("198.18.0.1")});
    logcapture::install();
}

void tst_E2eEngine::init()
{
    logcapture::clear();
    m_sim = std::make_unique<SimProcess>();
    m_engine = std::make_unique<Engine>();
}

void tst_E2eEngine::cleanup()
{
    m_engine.reset();
    if (QTest::currentTestFailed())
        qWarning("simulator said:\n%s", m_sim->stderrText.constData());
    m_sim.reset();
}

void tst_E2eEngine::startSim(const QStringList &arguments)
{
    QString error;
    if (!m_sim->start(arguments, &error))
        QFAIL(qPrintable(error));
}

void tst_E2eEngine::discoveryAtOnceThenEverySecond()
{
    startSim({QStringLiteral("--devices"), QStringLiteral("1")});
    const qint64 started = m_sim->now();
    m_engine->start();

    QTRY_VERIFY_WITH_TIMEOUT(!m_sim->rx.isEmpty(), 1000);
    QVERIFY2(
        m_sim->rx[0].seenMs - started < 300,
        qPrintable(QStringLiteral("first request %1 ms after start").arg(m_sim->rx[0].seenMs - started)));

    QTRY_VERIFY_WITH_TIMEOUT(m_sim->rxOf(Discovery).size() >= 4, 4000);
    const auto requests = m_sim->rxOf(Discovery);
    QCOMPARE(requests.size(), m_sim->rx.size()); // nothing else was sent
    for (int i = 0; i < requests.size(); ++i) {
        QCOMPARE(requests[i].address, QStringLiteral("198.18.0.1"));
        QCOMPARE(requests[i].port, protocol::HostPort);
        if (i == 0)
            continue;
        const qint64 gap = requests[i].simMs - requests[i - 1].simMs;
        QVERIFY2(qAbs(gap - Tick) <= TickTolerance,
                 qPrintable(QStringLiteral("request %1 came %2 ms after the one "
                                           "before")
                                .arg(i)
                                .arg(gap)));
    }
}

void tst_E2eEngine::devicesAreListed_data()
{
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("spreadMs");
    QTest::newRow("three answering at once") << 3 << 0;
    QTest::newRow("twenty answering over half a second") << 20 << 500;
}

void tst_E2eEngine::devicesAreListed()
{
    QFETCH(int, devices);
    QFETCH(int, spreadMs);
    startSim({QStringLiteral("--devices"), QString::number(devices), QStringLiteral("--spread"),
              QString::number(spreadMs)});
    QCOMPARE(m_sim->devices.size(), devices);
    QSignalSpy inserted(&m_engine->model, &QAbstractItemModel::rowsInserted);
    m_engine->start();

    QTRY_COMPARE_WITH_TIMEOUT(m_engine->model.rowCount(), devices, 2000);
    for (const DeviceRecord &sent : qAsConst(m_sim->devices)) {
        const int row = m_engine->rowOf(sent.mac);
        QVERIFY2(row >= 0, qPrintable(sent.mac));
        QCOMPARE(m_engine->cell(row, 0), sent.version);
        QCOMPARE(m_engine->cell(row, 1), sent.ipaddr);
        const DeviceRecord listed = m_engine->device(row);
        QCOMPARE(withoutCount(listed), withoutCount(sent));
        QVERIFY(listed.cnt >= 1);
    }
    DeviceRecord untouched;
    untouched.extra = QStringLiteral("untouched");
    QVERIFY(!m_engine->list->getDevice(devices, untouched));
    QVERIFY(!m_engine->list->getDevice(65535, untouched));
    QCOMPARE(untouched.extra, QStringLiteral("untouched"));

    // Later replies refresh the rows; they add none.
    const int requests = m_sim->rxOf(Discovery).size();
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->rxOf(Discovery).size() >= requests + 2, 3000);
    QCOMPARE(m_engine->model.rowCount(), devices);
    QCOMPARE(inserted.size(), devices);
}

void tst_E2eEngine::silencedDeviceAgesOutAtTheFourthBroadcast()
{
    startSim({QStringLiteral("--devices"), QStringLiteral("2")});
    const QString silent = m_sim->devices[0].mac;
    const QString talking = m_sim->devices[1].mac;
    m_engine->start();
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->model.rowCount(), 2, 2000);

    m_sim->control("silence 0");
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->eventsOf("silence").size(), 1, 1000);
    const qint64 silenced = m_sim->now();

    QTRY_COMPARE_WITH_TIMEOUT(m_engine->model.rowCount(), 1, 6000);
    const qint64 gone = m_sim->now() - silenced;
    QCOMPARE(m_engine->cell(0, 2), talking);
    // Its last answer came at most one period before it was silenced, and it goes with
    // the fourth broadcast after that answer.
    QVERIFY2(gone > 3000 - TickTolerance && gone < 4000 + TickTolerance + 300,
             qPrintable(QStringLiteral("removed %1 ms after it fell silent").arg(gone)));

    // The exact pass, from the dumps that follow every reply of the device that still
    // talks: each shows the list right after that device's answer to broadcast cnt.
    auto answers = [](const QVector<DumpEntry> &dump, const QString &mac) {
        quint32 cnt = 0;
        for (const DumpEntry &e : dump) {
            if (e.mac == mac)
                cnt = e.cnt;
        }
        return cnt; // 0: not listed
    };
    quint32 lastAnswer = 0;
    for (const auto &dump : deviceListDumps(logcapture::lines()))
        lastAnswer = qMax(lastAnswer, answers(dump, silent));
    QVERIFY(lastAnswer >= 1);
    QTRY_VERIFY_WITH_TIMEOUT(!deviceListDumps(logcapture::lines()).isEmpty() &&
                                 answers(deviceListDumps(logcapture::lines()).last(), talking) >=
                                     lastAnswer + 4,
                             2000);
    QSet<quint32> listed, notListed; // by the talking device's cnt
    for (const auto &dump : deviceListDumps(logcapture::lines())) {
        const quint32 broadcast = answers(dump, talking);
        if (broadcast > lastAnswer)
            (answers(dump, silent) ? listed : notListed).insert(broadcast);
    }
    QCOMPARE(listed, (QSet<quint32>{lastAnswer + 1, lastAnswer + 2, lastAnswer + 3}));
    QVERIFY(!notListed.isEmpty());
    QCOMPARE(*std::min_element(notListed.begin(), notListed.end()), lastAnswer + 4);
}

void tst_E2eEngine::setIpTakesTheNextTick_data()
{
    QTest::addColumn<QString>("ipways");
    QTest::addColumn<QString>("ipaddr");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("dns1");
    QTest::addColumn<QString>("dns2");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<DeviceRecord>("expected"); // the settings the device reports afterwards

    DeviceRecord fixed;
    fixed.ipways = QStringLiteral("static");
    fixed.ipaddr = QStringLiteral("198.18.0.77");
    fixed.mask = QStringLiteral("255.255.0.0");
    fixed.gateway = QStringLiteral("198.18.0.1");
    fixed.dns1 = QStringLiteral("198.18.0.53");
    fixed.dns2 = QString();
    QTest::newRow("static address, second DNS left empty")
        << fixed.ipways << fixed.ipaddr << fixed.mask << fixed.gateway << fixed.dns1 << fixed.dns2
        << QByteArray(
               "@qxsetip/V1.1/02:00:00:00:00:01/static/198.18.0.77/255.255.0.0/198.18.0.1/198.18.0.53/!")
        << fixed;

    DeviceRecord dhcp;
    dhcp.ipways = QStringLiteral("dhcp");
    dhcp.ipaddr = QStringLiteral("198.18.0.239"); // the first address of the simulator's pool
    dhcp.mask = QStringLiteral("255.255.255.0");
    dhcp.gateway = QStringLiteral("198.18.0.1");
    dhcp.dns1 = QStringLiteral("198.18.0.1");
    dhcp.dns2 = QStringLiteral("198.18.0.2");
    QTest::newRow("dhcp") << dhcp.ipways << QString() << QString() << QString() << QString() << QString()
                          << QByteArray("@qxsetip/V1.1/02:00:00:00:00:01/dhcp/////!") << dhcp;
}

void tst_E2eEngine::setIpTakesTheNextTick()
{
    QFETCH(QString, ipways);
    QFETCH(QString, ipaddr);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QFETCH(QString, dns1);
    QFETCH(QString, dns2);
    QFETCH(QByteArray, wire);
    QFETCH(DeviceRecord, expected);

    startSim({QStringLiteral("--devices"), QStringLiteral("2")});
    m_engine->start();
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->model.rowCount(), 2, 2000);
    const DeviceRecord target = m_sim->devices[0];
    const int targetRow = m_engine->rowOf(target.mac);
    const int otherRow = m_engine->rowOf(m_sim->devices[1].mac);
    QVERIFY(targetRow >= 0 && otherRow >= 0);
    const DeviceRecord otherBefore = m_engine->device(otherRow);

    // Queue it just after a request went out: well inside a tick period.
    const int before = m_sim->rx.size();
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->rx.size() > before, 1500);
    SetIpRequest request;
    IpList::copyDevice(m_engine->device(targetRow), request);
    request.ipways = ipways;
    request.ipaddr = ipaddr;
    request.mask = mask;
    request.gateway = gateway;
    request.dns1 = dns1;
    request.dns2 = dns2;
    m_engine->list->pushSetIpRequest(request);

    QTRY_COMPARE_WITH_TIMEOUT(m_sim->rxOf(wire).size(), 1, 1500);
    int at = -1;
    for (int i = 0; i < m_sim->rx.size(); ++i) {
        if (m_sim->rx[i].data == wire)
            at = i;
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->rx.size() > at + 1, 1500);
    const auto &rx = m_sim->rx;
    QVERIFY(at >= 1);
    QCOMPARE(rx[at - 1].data, Discovery);
    QCOMPARE(rx[at + 1].data, Discovery);
    QCOMPARE(rx[at].port, protocol::HostPort);
    // In place of a request, not besides one: one tick on each side.
    QVERIFY2(qAbs(rx[at].simMs - rx[at - 1].simMs - Tick) <= TickTolerance,
             qPrintable(QString::number(rx[at].simMs - rx[at - 1].simMs)));
    QVERIFY2(qAbs(rx[at + 1].simMs - rx[at].simMs - Tick) <= TickTolerance,
             qPrintable(QString::number(rx[at + 1].simMs - rx[at].simMs)));

    const auto applied = m_sim->eventsOf("setip");
    QCOMPARE(applied.size(), 1);
    QCOMPARE(applied[0].value(2), QByteArray("applied"));
    QCOMPARE(applied[0].value(3), QByteArray("0"));

    QTRY_COMPARE_WITH_TIMEOUT(m_engine->cell(targetRow, 1), expected.ipaddr, 2500);
    const DeviceRecord after = m_engine->device(targetRow);
    QCOMPARE(after.version, target.version);
    QCOMPARE(after.mac, target.mac);
    QCOMPARE(after.ipways, expected.ipways);
    QCOMPARE(after.ipaddr, expected.ipaddr);
    QCOMPARE(after.mask, expected.mask);
    QCOMPARE(after.gateway, expected.gateway);
    QCOMPARE(after.dns1, expected.dns1);
    QCOMPARE(after.dns2, expected.dns2);
    QCOMPARE(m_engine->model.rowCount(), 2);
    QCOMPARE(withoutCount(m_engine->device(otherRow)), withoutCount(otherBefore));
}

void tst_E2eEngine::everyReplyIsReadOnce_data()
{
    QTest::addColumn<bool>("byBroadcast");
    QTest::newRow("replies to the sender") << false;
    QTest::newRow("replies by broadcast") << true;
}

void tst_E2eEngine::everyReplyIsReadOnce()
{
    QFETCH(bool, byBroadcast);
    QStringList args{QStringLiteral("--devices"), QStringLiteral("1")};
    if (byBroadcast)
        args << QStringLiteral("--broadcast");
    startSim(args);
    QSignalSpy inserted(&m_engine->model, &QAbstractItemModel::rowsInserted);
    m_engine->start();

    auto txCount = [] {
        const QStringList lines = logcapture::lines();
        return int(std::count_if(lines.begin(), lines.end(), isTxDiscovery));
    };
    QTRY_VERIFY_WITH_TIMEOUT(txCount() >= 4, 4000);
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->model.rowCount(), 1, 1000);

    // One reply per request, read between that request and the next one.
    QVector<int> repliesPerTick;
    for (const QString &line : logcapture::lines()) {
        if (isTxDiscovery(line))
            repliesPerTick.append(0);
        else if (isRxReply(line) && !repliesPerTick.isEmpty())
            ++repliesPerTick.last();
    }
    repliesPerTick.removeLast(); // its reply may still be on the way
    QCOMPARE(repliesPerTick, QVector<int>(repliesPerTick.size(), 1));
    QCOMPARE(inserted.size(), 1);
    const DeviceRecord listed = m_engine->device(0);
    QCOMPARE(listed.mac, m_sim->devices[0].mac);
}

QTEST_MAIN(tst_E2eEngine)
#include "tst_e2e_engine.moc"
