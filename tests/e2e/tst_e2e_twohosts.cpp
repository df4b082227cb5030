// The discovery engine on a host with two interfaces, each on its own LAN segment that
// reaches the same simulated devices.

#include "enginerig.h"
#include "protocol.h"
#include "simprocess.h"
#include "testnetwork.h"

#include <QSignalSpy>
#include <QTest>

namespace {

const QByteArray Discovery("@qxsrhip/all!");

// "address:port" of each datagram, grouped by tick: datagrams less than 300 ms apart
// belong to one message sent from every socket.
QVector<QStringList> sendersByTick(const QVector<SimProcess::Rx> &rx)
{
    QVector<QStringList> ticks;
    qint64 tickStart = -1000;
    for (const SimProcess::Rx &r : rx) {
        if (r.simMs - tickStart >= 300) {
            ticks.append(QStringList());
            tickStart = r.simMs;
        }
        ticks.last().append(QStringLiteral("%1:%2").arg(r.address).arg(r.port));
    }
    for (QStringList &senders : ticks)
        senders.sort();
    return ticks;
}

} // namespace

class tst_E2eTwoHosts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void everyMessageLeavesFromEachAddress();

private:
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<Engine> m_engine;
};

void tst_E2eTwoHosts::initTestCase()
{
    LANSCOUT_REQUIRE_TEST_NETWORK();
    QCOMPARE(testnet::hostAddresses(),
             (QStringList{QStringLiteral("198.18.0.1"), QStringLiteral("198.18.1.1")}));
    logcapture::install();
}

void tst_E2eTwoHosts::init()
{
    logcapture::clear();
    m_sim = std::make_unique<SimProcess>();
    m_engine = std::make_unique<Engine>();
}

void tst_E2eTwoHosts::cleanup()
{
    m_engine.reset();
    if (QTest::currentTestFailed())
        qWarning("simulator said:\n%s", m_sim->stderrText.constData());
    m_sim.reset();
}

void tst_E2eTwoHosts::everyMessageLeavesFromEachAddress()
{
    QString error;
    QVERIFY2(m_sim->start({QStringLiteral("--devices"), QStringLiteral("1")}, &error), qPrintable(error));
    QSignalSpy inserted(&m_engine->model, &QAbstractItemModel::rowsInserted);
    m_engine->start();

    const QStringList both{QStringLiteral("198.18.0.1:8888"), QStringLiteral("198.18.1.1:8888")};
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->rxOf(Discovery).size() >= 4, 2500);
    QCOMPARE(m_sim->rxOf(Discovery).size(), m_sim->rx.size());
    const auto ticks = sendersByTick(m_sim->rx);
    QCOMPARE(ticks.mid(0, 2), (QVector<QStringList>{both, both}));

    // The device answers on both segments, and both answers are read: one entry still.
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->model.rowCount(), 1, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(m_engine->device(0).cnt >= 2, 1500);
    QCOMPARE(inserted.size(), 1);
    int replies = 0;
    int requests = 0;
    for (const QString &line : logcapture::lines()) {
        requests += isTxDiscovery(line);
        replies += isRxReply(line);
    }
    QVERIFY2(replies >= 2 * (requests - 1) && replies <= 2 * requests,
             qPrintable(QStringLiteral("%1 replies read for %2 requests").arg(replies).arg(requests)));

    // A set-IP command goes out from both addresses too; the device takes it (twice, to
    // the same effect) and shows its new address in its one row.
    SetIpRequest request;
    IpList::copyDevice(m_engine->device(0), request);
    request.ipaddr = QStringLiteral("198.18.1.50");
    request.gateway = QStringLiteral("198.18.1.1");
    m_engine->list->pushSetIpRequest(request);
    const QByteArray wire = protocol::setIpCommand(request);
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->rxOf(wire).size(), 2, 1500);
    QStringList senders;
    for (const auto &r : m_sim->rxOf(wire))
        senders << QStringLiteral("%1:%2").arg(r.address).arg(r.port);
    senders.sort();
    QCOMPARE(senders, both);
    QTRY_COMPARE_WITH_TIMEOUT(m_engine->cell(0, 1), QStringLiteral("198.18.1.50"), 2500);
    QCOMPARE(m_engine->model.rowCount(), 1);
}

QTEST_MAIN(tst_E2eTwoHosts)
#include "tst_e2e_twohosts.moc"
