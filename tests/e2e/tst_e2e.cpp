// The discovery engine and the whole program against simulated devices in the test bed. ctest runs this on
// networks of one, two and no host addresses; each test skips the networks it is not about.

#include "devicerecord.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "launchers.h"
#include "protocol.h"
#include "testnetwork.h"
#include "threadctl.h"
#include "udpserver.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QMutex>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

using testbed::AppProcess;
using testbed::Flood;
using testbed::SimProcess;

#define FOR_HOSTS(n)                                                                                         \
    if (testnet::hostAddresses().size() != n)                                                                \
    QSKIP("for a test network of " #n " host addresses")

namespace {

// The debug output of this process line by line as the default handler prints it ("category:
// message", no category for the default one). Warnings and worse are passed on too.
namespace logcapture {
QMutex mutex; // guards captured and previous: the engine logs from its worker thread
QStringList captured;
QtMessageHandler previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "default");
    QtMessageHandler forward = nullptr;
    {
        QMutexLocker lock(&mutex);
        captured.append(category == QLatin1String("default") ? message
                                                             : category + QLatin1String(": ") + message);
        if (type != QtDebugMsg && type != QtInfoMsg)
            forward = previous;
    }
    if (forward)
        forward(type, context, message);
}

void install()
{
    QMutexLocker lock(&mutex);
    if (!previous)
        previous = qInstallMessageHandler(handler);
}

void clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}

QStringList lines()
{
    QMutexLocker lock(&mutex);
    return captured;
}
} // namespace logcapture

// The engine as the program runs it: worker thread, device list and model on this thread.
struct Engine
{
    void start()
    {
        ctl = std::make_unique<ThreadCtl>(*list);
        emit ctl->server->start();
    }
    quint32 discoveryCount() const // read on the worker thread
    {
        quint32 count = 0;
        UdpServer *server = ctl->server;
        QMetaObject::invokeMethod(
            server, [server, &count] { count = server->count(); }, Qt::BlockingQueuedConnection);
        return count;
    }
    int rowOf(const QString &mac) const // -1 when not listed
    {
        for (int row = 0; row < model.rowCount(); ++row) {
            if (cell(row, 2) == mac)
                return row;
        }
        return -1;
    }
    QString cell(int row, int column) const { return model.index(row, column).data().toString(); }
    DeviceRecord device(int row) const
    {
        DeviceRecord rec;
        list->getDevice(row, rec);
        return rec;
    }

    IpItemMode model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    std::unique_ptr<IpList> list = std::make_unique<IpList>(model);
    std::unique_ptr<ThreadCtl> ctl; // goes first: the worker thread ends before the list it feeds
};

bool isTxDiscovery(const QString &line)
{
    return line == QLatin1String("lanScout.udp: tx:  \"@qxsrhip/all!\"");
}

DeviceRecord withoutCount(DeviceRecord rec)
{
    rec.cnt = 0;
    return rec;
}

const QByteArray Discovery("@qxsrhip/all!");
constexpr qint64 Tick = 1000;
constexpr qint64 TickTolerance = 150;

int countLines(bool (*match)(const QString &))
{
    const QStringList lines = logcapture::lines();
    return int(std::count_if(lines.begin(), lines.end(), match));
}

// The datagram's index in rx, and that it came on a tick of its own: one period after the
// discovery before it and one before the discovery after it.
int onItsOwnTick(const QVector<SimProcess::Rx> &rx, const QByteArray &data)
{
    int at = 0;
    while (at < rx.size() && rx[at].data != data)
        ++at;
    if (at < 1 || at + 1 >= rx.size() || rx[at - 1].data != Discovery || rx[at + 1].data != Discovery ||
        qAbs(rx[at].simMs - rx[at - 1].simMs - Tick) > TickTolerance ||
        qAbs(rx[at + 1].simMs - rx[at].simMs - Tick) > TickTolerance)
        return -1;
    return at;
}

// Whether a UDP socket of this network namespace has the program's port.
bool hostPortInUse()
{
    QFile table(QStringLiteral("/proc/self/net/udp")); // "sl local_address ...", as HEXADDR:HEXPORT
    return table.open(QIODevice::ReadOnly) && table.readAll().contains(":22B8 ");
}

} // namespace

class tst_E2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void discoveryListsDevicesAndReadsEachReplyOnce_data();
    void discoveryListsDevicesAndReadsEachReplyOnce();
    void setIpTakesTheNextTick_data();
    void setIpTakesTheNextTick();
    void secondCardKeepsBeingRead_data();
    void secondCardKeepsBeingRead();
    void loopbackOnlyOpensNothingAndKeepsCounting();

private:
    void startSim(const char *options);

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<Engine> m_engine;
};

void tst_E2e::initTestCase()
{
    LANSCOUT_REQUIRE_TEST_NETWORK();
    logcapture::install();
}

void tst_E2e::init()
{
    logcapture::clear();
    m_sim = std::make_unique<SimProcess>();
    m_engine = std::make_unique<Engine>();
}

void tst_E2e::cleanup()
{
    m_engine.reset();
    if (QTest::currentTestFailed())
        qWarning("simulator said:\n%s", m_sim->stderrText.constData());
    m_sim.reset();
}

void tst_E2e::startSim(const char *options)
{
    QString error;
    if (!m_sim->start(QString::fromLatin1(options).split(QLatin1Char(' ')), &error))
        QFAIL(qPrintable(error));
}

void tst_E2e::discoveryListsDevicesAndReadsEachReplyOnce_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("devices");
    QTest::newRow("three answering at once") << "--devices 3" << 3;
    QTest::newRow("three answering by broadcast") << "--devices 3 --broadcast" << 3;
    QTest::newRow("twenty answering over half a second") << "--devices 20 --spread 500" << 20;
}

void tst_E2e::discoveryListsDevicesAndReadsEachReplyOnce()
{
    FOR_HOSTS(1);
    QFETCH(QString, options);
    QFETCH(int, devices);
    startSim(options.toLatin1());
    QSignalSpy inserted(&m_engine->model, &QAbstractItemModel::rowsInserted);
    const qint64 started = m_sim->now();
    m_engine->start();

    QTRY_VERIFY_WITH_TIMEOUT(!m_sim->rx.isEmpty(), 1000);
    QVERIFY2(m_sim->rx[0].seenMs - started < 300, qPrintable(QString::number(m_sim->rx[0].seenMs - started)));
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->model.rowCount(), devices, 2000);
    for (const DeviceRecord &sent : qAsConst(m_sim->devices)) {
        const int row = m_engine->rowOf(sent.mac);
        QVERIFY2(row >= 0, qPrintable(sent.mac));
        QCOMPARE(m_engine->cell(row, 0), sent.version);
        QCOMPARE(m_engine->cell(row, 1), sent.ipaddr);
        QCOMPARE(withoutCount(m_engine->device(row)), withoutCount(sent));
    }
    // Later replies refresh the rows and add none; each is read once, before the next request.
    QTRY_VERIFY_WITH_TIMEOUT(countLines(isTxDiscovery) >= 4, 4000);
    QCOMPARE(m_engine->model.rowCount(), devices);
    QCOMPARE(inserted.size(), devices);
    QVector<int> repliesPerTick;
    for (const QString &line : logcapture::lines()) {
        if (isTxDiscovery(line))
            repliesPerTick.append(0);
        else if (line.startsWith(QLatin1String("lanScout.udp: rx:  qxsrhip/")) && !repliesPerTick.isEmpty())
            ++repliesPerTick.last();
    }
    repliesPerTick.removeLast(); // its replies may still be on the way
    QCOMPARE(repliesPerTick, QVector<int>(repliesPerTick.size(), devices));
    // The requests: at once, then every second, to the devices' port, and nothing else.
    const auto requests = m_sim->rxOf(Discovery);
    QCOMPARE(requests.size(), m_sim->rx.size());
    for (int i = 0; i < requests.size(); ++i) {
        QCOMPARE(requests[i].address, QStringLiteral("198.18.0.1"));
        QCOMPARE(requests[i].port, protocol::HostPort);
        const qint64 gap = i ? requests[i].simMs - requests[i - 1].simMs : Tick;
        QVERIFY2(qAbs(gap - Tick) <= TickTolerance, qPrintable(QStringLiteral("gap %1 ms").arg(gap)));
    }
}

void tst_E2e::setIpTakesTheNextTick_data()
{
    QTest::addColumn<QStringList>("request"); // ipways, ipaddr, mask, gateway, dns1, dns2
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("after"); // what the device reports afterwards

    const auto fields = [](const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
    const QStringList fixed = fields("static 198.18.0.77 255.255.0.0 198.18.0.1 198.18.0.53 ");
    QTest::newRow("static address, second DNS left empty")
        << fixed
        << QByteArray(
               "@qxsetip/V1.1/02:00:00:00:00:01/static/198.18.0.77/255.255.0.0/198.18.0.1/198.18.0.53/!")
        << fixed;
    // The first address of the simulator's pool.
    QTest::newRow("dhcp") << fields("dhcp     ") << QByteArray("@qxsetip/V1.1/02:00:00:00:00:01/dhcp/////!")
                          << fields("dhcp 198.18.0.239 255.255.255.0 198.18.0.1 198.18.0.1 198.18.0.2");
}

void tst_E2e::setIpTakesTheNextTick()
{
    FOR_HOSTS(1);
    QFETCH(QStringList, request);
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, after);
    startSim("--devices 2");
    m_engine->start();
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->model.rowCount(), 2, 2000);
    const DeviceRecord target = m_sim->devices[0];
    const int row = m_engine->rowOf(target.mac);
    const int otherRow = m_engine->rowOf(m_sim->devices[1].mac);
    QVERIFY(row >= 0 && otherRow >= 0);
    const DeviceRecord otherBefore = m_engine->device(otherRow);

    // Queued just after a request went out: well inside a tick period.
    const int before = m_sim->rx.size();
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->rx.size() > before, 1500);
    SetIpRequest r;
    IpList::copyDevice(m_engine->device(row), r);
    r.ipways = request[0], r.ipaddr = request[1], r.mask = request[2];
    r.gateway = request[3], r.dns1 = request[4], r.dns2 = request[5];
    m_engine->list->pushSetIpRequest(r);

    QTRY_COMPARE_WITH_TIMEOUT(m_sim->rxOf(wire).size(), 1, 1500);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->rx.last().data != wire, 1500);
    const int at = onItsOwnTick(m_sim->rx, wire);
    QVERIFY2(at > 0, "not sent in place of a discovery request");
    QCOMPARE(m_sim->rx[at].port, protocol::HostPort);
    QCOMPARE(m_sim->eventsOf("setip").value(0).mid(2), (QList<QByteArray>{"applied", "0"}));

    QTRY_COMPARE_WITH_TIMEOUT(m_engine->cell(row, 1), after[1], 2500);
    const DeviceRecord d = m_engine->device(row);
    QCOMPARE((QStringList{d.ipways, d.ipaddr, d.mask, d.gateway, d.dns1, d.dns2}), after);
    QCOMPARE(d.mac + d.version, target.mac + target.version);
    QCOMPARE(m_engine->model.rowCount(), 2);
    QCOMPARE(withoutCount(m_engine->device(otherRow)), withoutCount(otherBefore));
}

void tst_E2e::secondCardKeepsBeingRead_data()
{
    // Whether a socket is left unread depends on which sockets one turn of the event loop finds
    // readable together: a few rounds, so that the test cannot pass by luck.
    QTest::addColumn<int>("round");
    for (int round = 1; round <= 3; ++round)
        QTest::addRow("round %d", round) << round;
}

// A laptop with two network cards: replies arrive on both in interleaved bursts, then the first
// network goes quiet. The device behind the second card must go on being read and listed.
void tst_E2e::secondCardKeepsBeingRead()
{
    FOR_HOSTS(2);
    startSim("--devices 1 --only-from 198.18.1.1");
    const QByteArray mac = m_sim->devices.value(0).mac.toLatin1();
    auto repliesRead = [&mac](const QByteArray &trace) {
        int n = 0;
        for (const QByteArray &line : trace.split('\n')) // a CR at the end doesn't matter here
            n += line.startsWith("lanScout.udp: rx:  qxsrhip/") && line.contains("/" + mac + "/");
        return n;
    };
    AppProcess app{QStringLiteral("default.debug=false;lanScout.probe.debug=true")};
    QString error;
    QVERIFY2(app.start(&error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(repliesRead(app.trace()) >= 1, 5000);

    Flood burst; // 40 forged devices, 20 behind each card
    QVERIFY(burst.start(QStringLiteral("--kind devices --count 10000 --duration-ms 1000 --cycle 40 "
                                       "--to 198.18.0.1 --to 198.18.1.1")));
    QVERIFY2(burst.finish(10000), qPrintable(burst.summary));
    const int quietFrom = app.trace().size();

    // Every discovery after the burst answered and read; the forged devices gone, the device kept.
    QTRY_VERIFY_WITH_TIMEOUT(repliesRead(app.trace().mid(quietFrom)) >= 6, 9000);
    QTRY_VERIFY_WITH_TIMEOUT(app.rows() == 1 && app.probes.last().ms > app.now() - 900, 3000);
    QVERIFY(app.terminateAndWait(5000) >= 0 && app.exitedCleanly());
}

void tst_E2e::loopbackOnlyOpensNothingAndKeepsCounting()
{
    FOR_HOSTS(0);
    m_engine->start();
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->discoveryCount(), quint32(1), 500);
    QVERIFY(!hostPortInUse());
    // Still one request a second, each aged as usual, though none leaves the host.
    QTRY_VERIFY_WITH_TIMEOUT(m_engine->discoveryCount() >= 3, 3000);
    QVERIFY(m_engine->ctl->workThread.isRunning());
    QCOMPARE(m_engine->model.rowCount(), 0);
    for (const QString &line : logcapture::lines())
        QVERIFY2(isTxDiscovery(line) || !line.startsWith(QLatin1String("lanScout.udp:")), qPrintable(line));
    QVERIFY(countLines(isTxDiscovery) >= 3);
    QVERIFY(!hostPortInUse());
}

QTEST_MAIN(tst_E2e)
#include "tst_e2e.moc"
