// lanscout-cli doctor in the test bed: each cause it names, caused for real in the host namespace,
// and its capture read back.

#include "launchers.h"
#include "protocol.h"
#include "testnetwork.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

#include <csignal>

using testbed::CliProcess;
using testbed::SimProcess;

namespace {

// Each datagram of a pcap file of raw IPv4 records: source port, destination port, payload.
QVector<std::tuple<int, int, QByteArray>> readPcap(const QString &path)
{
    QFile file(path);
    QByteArray all = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (all.size() < 24 || qFromLittleEndian<quint32>(all.constData()) != 0xa1b2c3d4 ||
        qFromLittleEndian<quint32>(all.constData() + 20) != 101)
        return {{-1, -1, "bad header"}};
    QVector<std::tuple<int, int, QByteArray>> datagrams;
    for (int at = 24; at + 16 <= all.size();) {
        const int length = int(qFromLittleEndian<quint32>(all.constData() + at + 8));
        const QByteArray ip = all.mid(at + 16, length);
        at += 16 + length;
        if (ip.size() != length || length < 28 || ip[0] != 0x45 || ip[9] != 17)
            return {{-1, -1, "bad record"}};
        datagrams.append(std::make_tuple(int(qFromBigEndian<quint16>(ip.constData() + 20)),
                                         int(qFromBigEndian<quint16>(ip.constData() + 22)), ip.mid(28)));
    }
    return datagrams;
}

bool sentRequest(const QVector<std::tuple<int, int, QByteArray>> &datagrams)
{
    return std::any_of(datagrams.begin(), datagrams.end(), [](const auto &d) {
        return std::get<1>(d) == 8866 && std::get<2>(d) == protocol::discoveryRequest();
    });
}

void shell(const QString &command)
{
    if (!command.isEmpty() && QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command}) != 0)
        qWarning("failed: %s", qPrintable(command));
}

} // namespace

class tst_Doctor : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void scenarios_data();
    void scenarios();

private:
    QString m_link; // the host side of pair 0
    QTemporaryDir m_dir;
};

void tst_Doctor::initTestCase()
{
    LANSCOUT_REQUIRE_TEST_NETWORK();
    for (const QNetworkInterface &i : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &e : i.addressEntries())
            m_link = e.ip() == QHostAddress(QStringLiteral("198.18.0.1")) ? i.name() : m_link;
    }
}

void tst_Doctor::scenarios_data()
{
    QTest::addColumn<QString>("sim");       // simulator options; empty: none
    QTest::addColumn<QString>("setup");     // shell, in the host namespace (%H: the link)
    QTest::addColumn<QString>("undo");      // shell, afterwards
    QTest::addColumn<QString>("arguments"); // after "doctor --format json --capture FILE"
    QTest::addColumn<QString>("disturb");   // hold (the port), flood, or sigint
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("expected"); // severity:id of findings among those given, or text on stderr
    const QString nft =
        QStringLiteral("nft add table inet lst && nft add chain inet lst in '{ type filter hook "
                       "input priority 0; }' && nft add rule inet lst in udp dport 8888 drop");
    const QString carrier =
        QStringLiteral("ip link set %H up; for i in $(seq 50); do ip -br link show %H | grep -q "
                       "LOWER_UP && break; sleep 0.1; done; ip route replace default dev %H");
    auto row = [](const char *name, const char *sim, const QString &setup, const QString &undo,
                  const char *arguments, const char *disturb, int exit, const char *expected) {
        QTest::newRow(name) << QString::fromUtf8(sim) << setup << undo << QString::fromUtf8(arguments)
                            << QString::fromUtf8(disturb) << exit << QString::fromUtf8(expected);
    };
    row("healthy segment", "--devices 3", {}, {}, "--wait 2", "", 0, "");
    row("no device answers", "", {}, {}, "--wait 2", "", 1, "problem:no-reply");
    row("nftables drops UDP to 8888", "--devices 3", nft, QStringLiteral("nft delete table inet lst"),
        "--wait 2", "", 1, "problem:firewall problem:no-reply");
    row("another program holds the port alone", "--devices 3", {}, {}, "--wait 1", "hold", 1,
        "problem:port-held problem:bind-failed tst_doctor");
    row("strict rp_filter, device on another subnet", "--devices 1 --subnet 10.9.0.0/24",
        QStringLiteral("sysctl -qw net.ipv4.conf.all.rp_filter=1"),
        QStringLiteral("sysctl -qw net.ipv4.conf.all.rp_filter=0"), "--wait 2", "", 0,
        "warning:rp-filter warning:off-subnet");
    row("two devices on one address", "--devices 10 --subnet 198.18.0.0/28", {}, {}, "--wait 2", "", 1,
        "problem:duplicate-address");
    // net.core.rmem_max can't be lowered in a namespace here: the program is stopped instead, so
    // that a burst overflows even the buffer it asked for. The wait outlasts the 10 s the test gives
    // the flood (it stops itself after 5), so that the program still reads what was kept once it
    // goes on.
    row("burst while the program is held up", "--devices 1", {}, {}, "--wait 15", "flood", 1,
        "problem:kernel-drops warning:ignored-datagrams");
    row("ended by Ctrl-C, capture readable", "--devices 1", {}, {}, "--wait 30", "sigint", 130, "");
    row("only an interface that is down", "--devices 1", QStringLiteral("ip link set %H down"), carrier,
        "--wait 1 --interface %H", "", 1, "problem:no-interface");
    row("only loopback", "", {}, {}, "--wait 1 --interface lo", "", 1, "problem:no-interface");
    row("unknown interface", "", {}, {}, "--interface nosuch0", "", 2,
        "no interface \"nosuch0\" here; there are: lo, %H");
}

void tst_Doctor::scenarios()
{
    QFETCH(QString, sim);
    QFETCH(QString, setup);
    QFETCH(QString, undo);
    QFETCH(QString, arguments);
    QFETCH(QString, disturb);
    QFETCH(int, exit);
    QFETCH(QString, expected);
    auto fill = [this](QString s) { return s.replace(QLatin1String("%H"), m_link); };
    SimProcess simulator;
    QString error;
    if (!sim.isEmpty())
        QVERIFY2(simulator.start(sim.split(QLatin1Char(' ')), &error), qPrintable(error));
    QUdpSocket holder;
    if (disturb == QLatin1String("hold"))
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, protocol::HostPort, QAbstractSocket::DontShareAddress));
    shell(fill(setup));
    const QString capture = m_dir.filePath(QStringLiteral("%1.pcap")
                                               .arg(QLatin1String(QTest::currentDataTag()))
                                               .replace(QLatin1Char(' '), QLatin1Char('_')));
    CliProcess cli(QStringLiteral("doctor --format json --capture %1 ").arg(capture) + fill(arguments),
                   simulator);
    testbed::Flood flood;
    if (disturb == QLatin1String("flood") || disturb == QLatin1String("sigint")) {
        QTRY_VERIFY(sentRequest(readPcap(capture))); // its sockets are open
        if (disturb == QLatin1String("sigint"))
            cli.signal(SIGINT);
        else {
            cli.signal(SIGSTOP);
            QVERIFY(flood.start(QStringLiteral("--kind malformed --count 60000 --duration-ms 2000")));
            QVERIFY2(flood.finish(10000), qPrintable(flood.summary));
            cli.signal(SIGCONT);
        }
    }
    const int code = cli.finish(40000);
    shell(fill(undo));
    QVERIFY2(code == exit, cli.err.constData());
    if (exit == 2) {
        QVERIFY2(cli.err.contains(fill(expected).toUtf8()), cli.err.constData());
        return;
    }

    const QJsonObject report = QJsonDocument::fromJson(cli.out).object();
    QCOMPARE(report.value(QLatin1String("format_version")).toInt(), 1);
    QStringList found;
    for (const QJsonValue &f : report.value(QLatin1String("findings")).toArray())
        found << f[QLatin1String("severity")].toString() + QLatin1Char(':') +
                     f[QLatin1String("id")].toString() + QLatin1Char(' ') +
                     f[QLatin1String("message")].toString();
    for (const QString &e : expected.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        QVERIFY2(found.join(QLatin1Char('\n')).contains(e),
                 qPrintable(e + QLatin1String(" not in:\n") + found.join(QLatin1Char('\n'))));

    // The capture: the requests sent, and every reply read.
    const auto datagrams = readPcap(capture);
    int sent = 0;
    for (const QJsonValue &i : report.value(QLatin1String("interfaces")).toArray())
        sent += i[QLatin1String("sent")].toInt();
    QCOMPARE(sentRequest(datagrams), sent > 0);
    const auto replies = std::count_if(datagrams.begin(), datagrams.end(), [](const auto &d) {
        return std::get<0>(d) == 8866 && std::get<1>(d) == 8888 && std::get<2>(d).startsWith("@qxsrhip/V");
    });
    const int devices = report.value(QLatin1String("devices")).toArray().size();
    QVERIFY(replies >= devices);
}

QTEST_GUILESS_MAIN(tst_Doctor)
#include "tst_doctor.moc"
