// The discovery engine on a host with loopback only: nothing to send from, and it keeps
// running all the same.

#include "enginerig.h"
#include "protocol.h"
#include "testnetwork.h"

#include <QFile>
#include <QTest>

namespace {

// Local ports of the UDP sockets of this network namespace.
QList<quint16> udpPortsInUse()
{
    QList<quint16> ports;
    QFile table(QStringLiteral("/proc/self/net/udp"));
    if (!table.open(QIODevice::ReadOnly))
        return ports;
    table.readLine(); // header
    while (!table.atEnd()) {
        // "  sl  local_address rem_address ...": local_address is HEXADDR:HEXPORT
        const QList<QByteArray> fields = table.readLine().simplified().split(' ');
        if (fields.size() > 1)
            ports << quint16(fields[1].mid(fields[1].indexOf(':') + 1).toUInt(nullptr, 16));
    }
    return ports;
}

} // namespace

class tst_E2eNoHosts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loopbackOnlyOpensNothingAndKeepsCounting();
};

void tst_E2eNoHosts::initTestCase()
{
    LANSCOUT_REQUIRE_TEST_NETWORK();
    QVERIFY(testnet::hostAddresses().isEmpty());
    logcapture::install();
}

void tst_E2eNoHosts::loopbackOnlyOpensNothingAndKeepsCounting()
{
    Engine engine;
    engine.start();
    QTRY_COMPARE_WITH_TIMEOUT(engine.discoveryCount(), quint32(1), 500);
    QVERIFY(!udpPortsInUse().contains(protocol::HostPort));

    // Still one request a second, each aged as usual, though none leaves the host.
    QTRY_VERIFY_WITH_TIMEOUT(engine.discoveryCount() >= 3, 3000);
    QVERIFY(engine.ctl->workThread.isRunning());
    QCOMPARE(engine.model.rowCount(), 0);
    int requests = 0;
    for (const QString &line : logcapture::lines()) {
        if (isTxDiscovery(line))
            ++requests;
        else if (line.startsWith(QLatin1String("lanScout.udp:")))
            QFAIL(qPrintable(QStringLiteral("unexpected traffic: ") + line));
    }
    QVERIFY(requests >= 3);
    QVERIFY(!udpPortsInUse().contains(protocol::HostPort));
}

QTEST_MAIN(tst_E2eNoHosts)
#include "tst_e2e_nohosts.moc"
