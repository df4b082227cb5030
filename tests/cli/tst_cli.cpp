// lanscout-cli against simulated devices in the test bed: every command and exit path. ctest
// runs it on networks of one and of two host addresses; seenOn runs on the second, the rest on the first.

#include "baseline.h"
#include "journal.h"
#include "launchers.h"
#include "plan.h"
#include "protocol.h"
#include "testnetwork.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

// A static address for device 0 (02:00:00:00:00:01, V1.1, 198.18.0.10) that passes every check.
#define FIXED " --static 198.18.0.77 --mask 255.255.255.0 --gateway 198.18.0.1 "

using testbed::AppProcess;
using testbed::CliProcess;
using testbed::SimProcess;

namespace {

// A second version of device 0 with hostile text, as if it answered behind the first address, on
// the address of device 1.
DeviceRecord hostile()
{
    DeviceRecord d;
    d.version = QStringLiteral("V9");
    d.mac = QStringLiteral("02:00:00:00:00:01");
    d.ipaddr = QStringLiteral("198.18.0.11");
    d.extra = QStringLiteral("a, \"quoted\" name\r\nline two \x1b[31mred");
    return d;
}

// A host of another family on the segment: the LAN side's link holds addresses (with mac in place
// of its own, when given), so that the LAN namespace's kernel answers ARP for them. Undone when
// it goes.
class Holder
{
public:
    Holder(const QStringList &addresses, const QString &mac = {}) : m_addresses(addresses)
    {
        if (!mac.isEmpty()) {
            m_mac = QString::fromLatin1(ip(QStringLiteral("-o link show dev %1")))
                        .section(QLatin1String("link/ether "), 1)
                        .section(QLatin1Char(' '), 0, 0);
            ip(QStringLiteral("link set dev %1 address ") + mac);
        }
        for (const QString &a : addresses)
            ip(QStringLiteral("addr add ") + a + QStringLiteral("/24 dev %1"));
    }
    ~Holder()
    {
        for (const QString &a : qAsConst(m_addresses))
            ip(QStringLiteral("addr del ") + a + QStringLiteral("/24 dev %1"));
        if (!m_mac.isEmpty())
            ip(QStringLiteral("link set dev %1 address ") + m_mac);
    }

private:
    // `ip COMMAND` in the LAN namespace, %1 its link: the output.
    QByteArray ip(const QString &command) const
    {
        QProcess p;
        p.start(testbed::ipTool(), QStringList{QStringLiteral("-n"), testnet::lanNamespace()} +
                                       command.arg(m_link).split(QLatin1Char(' ')));
        if (!p.waitForFinished() || p.exitCode() != 0)
            qWarning("ip %s failed", qPrintable(command.arg(m_link)));
        return p.readAllStandardOutput();
    }

    // run-in-testbed names the LAN side of pair 0 after its own pid, which names the namespace.
    const QString m_link = QStringLiteral("ls%1l0").arg(testnet::lanNamespace().section(QLatin1Char('-'), 1));
    QStringList m_addresses;
    QString m_mac;
};

// The JSON lines lanscout-cli printed so far whose event is one of kinds (a blank between them),
// "|" between them: each as its event, address, holders and device's MAC, those it has.
QString events(const CliProcess &cli, const QString &kinds)
{
    QStringList found;
    for (const auto &line : cli.lines) {
        const QJsonObject e = QJsonDocument::fromJson(line.second).object();
        QStringList text{e[QLatin1String("event")].toString(), e[QLatin1String("ipaddr")].toString(),
                         e[QLatin1String("holders")].toVariant().toStringList().join(QLatin1Char(',')),
                         e[QLatin1String("device")][QLatin1String("mac")].toString()};
        text.removeAll(QString());
        if (kinds.split(QLatin1Char(' ')).contains(text.value(0)))
            found << text.join(QLatin1Char(' '));
    }
    return found.join(QLatin1Char('|'));
}

// Whether a socket holds port 8888 in this namespace's table (HEXADDR:HEXPORT).
bool portTaken()
{
    QFile udp(QStringLiteral("/proc/self/net/udp"));
    return udp.open(QIODevice::ReadOnly) && udp.readAll().contains(":22B8 ");
}

// Runs lanscout-cli without CAP_NET_RAW, as an unprivileged user would: the kernel resolves.
const QStringList Unprivileged{QStringLiteral("setpriv"), QStringLiteral("--inh-caps=-net_raw"),
                               QStringLiteral("--bounding-set=-net_raw")};

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void list_data();
    void list();
    void seenOn_data();
    void seenOn();
    void watch_data();
    void watch();
    void watchConflict();
    void setIp_data();
    void setIp();
    void apply_data();
    void apply();
    void undo_data();
    void undo();
    void portHeld_data();
    void portHeld();
    void baseline_data();
    void baseline();
    void watchBaseline();
    void restore();

private:
    // Starts the simulator (unless simOptions is empty) and lanscout-cli; forged: the hostile
    // device answers every 200 ms meanwhile.
    CliProcess &start(const QString &simOptions, const QString &arguments, bool forged = false,
                      const QStringList &wrapper = {});
    void startSim(const QString &options);
    // The set-IP commands the simulator got; settle: once one sent at the very end reached it.
    QByteArrayList setIps(bool settle = true) const;
    int setIpSends() const { return int(setIps(false).size()); }

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<CliProcess> m_cli;
    QTimer m_forger;
    QUdpSocket m_forgery;
    DeviceRecord m_forged = hostile(); // what the forger sends
    QTemporaryDir m_state;             // the journal of every change made here
    // A baseline of the simulator's devices 0 and 1 (1 at 198.18.0.50) and of one never found.
    QString writeBaseline();
};

void tst_Cli::initTestCase()
{
    LANSCOUT_REQUIRE_TEST_NETWORK();
    qputenv("LANSCOUT_JOURNAL", QFile::encodeName(m_state.filePath(QStringLiteral("journal.jsonl"))));
    connect(&m_forger, &QTimer::timeout, this, [this] {
        m_forgery.writeDatagram(protocol::discoveryReply(m_forged),
                                QHostAddress(QStringLiteral("198.18.0.1")), protocol::HostPort);
    });
}

void tst_Cli::init()
{
    // The longest functions (mostly waiting for the devices) run as tests of their own, side by side.
    const QStringList apart = qEnvironmentVariable("LANSCOUT_CLI_APART").split(QLatin1Char(','));
    if (apart.contains(QLatin1String(QTest::currentTestFunction())))
        QSKIP("runs as a test of its own, beside this one");
    if (testnet::hostAddresses().size() != (QTest::currentTestFunction() == QByteArray("seenOn") ? 2 : 1))
        QSKIP("for a test network of another number of host addresses");
    m_sim = std::make_unique<SimProcess>();
}

void tst_Cli::cleanup()
{
    m_forger.stop();
    m_forged = hostile();
    qputenv("LANSCOUT_JOURNAL", QFile::encodeName(m_state.filePath(QStringLiteral("journal.jsonl"))));
    if (QTest::currentTestFailed() && m_cli)
        qWarning("lanscout-cli said:\n%s\nsimulator said:\n%s", m_cli->err.constData(),
                 m_sim->stderrText.constData());
    m_cli.reset();
    m_sim.reset();
}

void tst_Cli::startSim(const QString &options)
{
    QString error;
    if (!m_sim->start(options.split(QLatin1Char(' '), Qt::SkipEmptyParts), &error))
        qFatal("%s", qPrintable(error));
}

CliProcess &tst_Cli::start(const QString &simOptions, const QString &arguments, bool forged,
                           const QStringList &wrapper)
{
    if (!simOptions.isEmpty())
        startSim(simOptions);
    m_cli = std::make_unique<CliProcess>(arguments, *m_sim, wrapper);
    if (forged)
        m_forger.start(200);
    return *m_cli;
}

QByteArrayList tst_Cli::setIps(bool settle) const
{
    if (settle)
        QTest::qWait(100);
    QByteArrayList sent;
    for (const SimProcess::Rx &r : qAsConst(m_sim->rx)) {
        if (r.data.startsWith("@qxsetip/"))
            sent << r.data;
    }
    return sent;
}

void tst_Cli::list_data()
{
    QTest::addColumn<QString>("sim");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("listed"); // the hostile device included
    for (const char *format : {"json", "csv", "table"}) {
        QTest::addRow("%s, beside a hostile device", format) << "--devices 3" << format << 4;
        QTest::addRow("%s, none found", format) << "" << format << 0;
    }
}

void tst_Cli::list()
{
    QFETCH(QString, sim);
    QFETCH(QString, format);
    QFETCH(int, listed);
    CliProcess &cli = start(sim, QStringLiteral("list --wait 1 --format ") + format, listed > 0);
    QCOMPARE(cli.finish(5000), 0);
    QVERIFY(!cli.err.contains("holds port 8888"));
    QCOMPARE(cli.err.contains("no device found"), listed == 0);
    const QString name = hostile().extra;
    QStringList names;            // of the hostile device, as read back
    QStringList conflicts;        // "MAC: the other holders" of each device that has some
    QVector<QVariantMap> devices; // JSON and CSV, read back by the names of the fields
    int count = 0;
    if (format == QLatin1String("json")) {
        for (const QJsonValue &d : QJsonDocument::fromJson(cli.out).array()) {
            devices << d.toObject().toVariantMap();
            QCOMPARE(d[QLatin1String("seen_on")][0][QLatin1String("address")].toString(),
                     QStringLiteral("198.18.0.1"));
        }
    } else if (format == QLatin1String("csv")) {
        QString error;
        const QVector<cli::CsvRecord> records = cli::readCsv(QString::fromUtf8(cli.out), &error);
        for (const cli::CsvRecord &r : records.mid(1)) {
            devices << QVariantMap();
            for (int i = 0; i < r.fields.size(); ++i)
                devices.last()[records[0].fields.value(i)] = r.fields[i];
        }
    } else {
        count = qMax(0, cli.out.count('\n') - 1); // the header line, one per device
        QVERIFY(!cli.out.contains('\x1b') && !cli.out.contains('\r'));
        if (cli.out.contains(R"(a, "quoted" name\x0d\x0aline two \x1b...)"))
            names << name;
        QCOMPARE(cli.out.count("!! "), listed ? 2 : 0);
    }
    for (const QVariantMap &d : qAsConst(devices)) {
        ++count, names << d[QStringLiteral("extra")].toString();
        QCOMPARE(d[QStringLiteral("reachable")].toString(), QStringLiteral("true"));
        const QString others = d[QStringLiteral("conflicts")].toStringList().join(QLatin1Char(','));
        if (!others.isEmpty())
            conflicts << d[QStringLiteral("mac")].toString() + QLatin1String(": ") + others;
    }
    QCOMPARE(count, listed);
    conflicts.sort(); // device 1 and the hostile one on 198.18.0.11
    QCOMPARE(conflicts.join(QLatin1Char('|')), QLatin1String(listed && format != QLatin1String("table")
                                                                 ? "02:00:00:00:00:01: 02:00:00:00:00:02|"
                                                                   "02:00:00:00:00:02: 02:00:00:00:00:01"
                                                                 : ""));
    QCOMPARE(names.contains(name), listed > 0);
}

void tst_Cli::seenOn_data()
{
    QTest::addColumn<QString>("row"); // simulator options => the addresses the device is seen on
    QTest::newRow("answering on both networks") << "--devices 1 => 198.18.0.1 198.18.1.1";
    QTest::newRow("behind the second network only") << "--devices 1 --only-from 198.18.1.1 => 198.18.1.1";
    // Broadcast replies leave the devices' side by its first link; the wildcard socket reads them.
    QTest::newRow("answering by broadcast") << "--devices 1 --broadcast => 198.18.0.1";
}

void tst_Cli::seenOn()
{
    QFETCH(QString, row);
    CliProcess &cli =
        start(row.section(QLatin1String(" => "), 0, 0), QStringLiteral("list --wait 2.5 --format json"));
    QCOMPARE(cli.finish(6000), 0);
    QStringList addresses;
    for (const QJsonValue s : QJsonDocument::fromJson(cli.out)[0][QLatin1String("seen_on")].toArray()) {
        addresses << s[QLatin1String("address")].toString();
        const auto iface = QNetworkInterface::interfaceFromName(s[QLatin1String("interface")].toString());
        QCOMPARE(iface.addressEntries().value(0).ip().toString(), addresses.last());
    }
    addresses.sort();
    QCOMPARE(addresses.join(QLatin1Char(' ')), row.section(QLatin1String(" => "), 1));
}

void tst_Cli::watch_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("stop"); // a signal, or 0: --duration ends it
    QTest::newRow("jsonl, a removal, to the end of --duration") << "watch --format jsonl --duration 8" << 0;
    QTest::newRow("text, SIGINT") << "watch" << int(SIGINT);
    QTest::newRow("jsonl, SIGTERM") << "watch --format jsonl" << int(SIGTERM);
}

void tst_Cli::watch()
{
    QFETCH(QString, arguments);
    QFETCH(int, stop);
    CliProcess &cli = start(QStringLiteral("--devices 2"), arguments);
    QTRY_COMPARE_WITH_TIMEOUT(cli.lines.size(), 2, 3000);
    if (stop) {
        cli.signal(stop);
    } else {
        // The window drops a device in the pass after the fourth discovery it leaves unanswered:
        // a few ms after that discovery reaches the devices, long before the next one.
        m_sim->control("silence 1");
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->eventsOf("silence").size(), 1, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(cli.lines.size(), 3, 7000);
        const auto discoveries = m_sim->rxOf("@qxsrhip/all!");
        int last = 0; // the last one answered
        while (last + 1 < discoveries.size() &&
               discoveries[last + 1].simMs < m_sim->eventsOf("silence")[0][1].toLongLong())
            ++last;
        QVERIFY(last + 4 < discoveries.size());
        const qint64 removedAt = cli.lines[2].first;
        QVERIFY2(removedAt > discoveries[last + 3].seenMs + 500 &&
                     removedAt < discoveries[last + 4].seenMs + 500,
                 qPrintable(QStringLiteral("removed at %1 ms").arg(removedAt)));
    }
    QCOMPARE(cli.finish(12000), 0);
    const QList<QByteArray> lines = cli.out.split('\n');
    QCOMPARE(lines.size(), stop ? 3 : 4); // every line ended
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const QString event = QLatin1String(i < 2 ? "added" : "removed");
        if (arguments.contains(QLatin1String("jsonl")))
            QCOMPARE(QJsonDocument::fromJson(lines[i])[QLatin1String("event")].toString(), event);
        else
            QVERIFY(QDateTime::fromString(QString::fromUtf8(lines[i].split(' ')[0]), Qt::ISODateWithMs)
                        .isValid() &&
                    QString::fromUtf8(lines[i].split(' ')[1]) == event);
    }
}

// A forged device on device 1's address: a conflict while it answers, resolved once it is dropped.
void tst_Cli::watchConflict()
{
    CliProcess &cli =
        start(QStringLiteral("--devices 2"), QStringLiteral("watch --format jsonl --duration 9"), true);
    const QString conflict = QStringLiteral("conflict 198.18.0.11 02:00:00:00:00:02,02:00:00:00:00:01");
    QTRY_COMPARE_WITH_TIMEOUT(events(cli, QStringLiteral("conflict")), conflict, 4000);
    m_forger.stop();
    QTRY_COMPARE_WITH_TIMEOUT(events(cli, QStringLiteral("conflict resolved")),
                              conflict + QLatin1String("|resolved 198.18.0.11 02:00:00:00:00:02"), 8000);
    QCOMPARE(cli.finish(6000), 0);
}

namespace {
void setIpRow(const char *name, const char *sim, const char *control, const char *options, int exit,
              int sends, const char *output)
{
    QTest::newRow(name) << QString::fromUtf8(sim) << QString::fromUtf8(control) << QString::fromUtf8(options)
                        << exit << sends << QString::fromUtf8(output);
}
} // namespace

void tst_Cli::setIp_data()
{
    QTest::addColumn<QString>("sim");     // after "--devices 2"
    QTest::addColumn<QString>("control"); // for the simulator: before the run, or at the first command ("@")
    QTest::addColumn<QString>("options"); // after "set-ip --wait 1 --mac 02:00:00:00:00:01"
    QTest::addColumn<int>("exit");
    QTest::addColumn<int>("sends");      // -1: nothing at all on the wire
    QTest::addColumn<QString>("output"); // in standard output, or after "!" in standard error
    setIpRow(
        "static: verified", "", "", FIXED "--dns1 198.18.0.53 --format json", 0, 1,
        R"("ipaddr":"198.18.0.77","mask":"255.255.255.0","gateway":"198.18.0.1","mac":"02:00:00:00:00:01","dns1":"198.18.0.53","dns2":"")");
    setIpRow("dhcp, mac in small letters: verified", "--devices 10", "", "--mac 02:00:00:00:00:0a --dhcp", 0,
             1, "V1.10    dhcp");
    setIpRow("first command dropped: sent again", "", "drop-setip 0 1", FIXED, 0, 2, "198.18.0.77");
    setIpRow("commands ignored: a resend, then time out", "--ignore-setip 0", "",
             FIXED "--retries 1 --timeout 5", 4, 2, "198.18.0.10");
    setIpRow("silent after the command: time out", "--ignore-setip 0", "@silence 0", FIXED "--timeout 3", 4,
             1, "198.18.0.10");
    setIpRow("another address taken: mismatch", "--misapply-setip 0:198.18.0.99", "", FIXED, 5, 1,
             "198.18.0.99");
    setIpRow("unknown device", "", "", "--mac 02:00:00:00:00:0F --dhcp", 3, 0,
             "!no device \"02:00:00:00:00:0F\" found");
    setIpRow("one mac, two versions: refused, both listed", "", "@forge", "--dhcp", 2, 0,
             "!02:00:00:00:00:01 V1.1, 02:00:00:00:00:01 V9");
    setIpRow("address of another device: refused", "", "", "--static 198.18.0.11 --mask 255.255.255.0", 2, 0,
             "!held by another");
    setIpRow("address out of reach: refused", "", "", "--static 10.1.2.3 --mask 255.0.0.0", 2, 0,
             "!out of reach");
    setIpRow("refused, sent with --force", "", "", "--static 198.18.0.11 --mask 255.255.255.0 --force", 0, 1,
             "198.18.0.11");
    setIpRow("dry run: the bytes, nothing sent", "", "", FIXED "--dry-run", 0, 0,
             "@qxsetip/V1.1/02:00:00:00:00:01/static/198.18.0.77/255.255.255.0/198.18.0.1//!\n");
    setIpRow("dry run, JSON: one document", "", "", FIXED "--dry-run --format json", 0, 0,
             R"({"command":"@qxsetip/V1.1/02:00:00:00:00:01/static/)");
    // The resend goes with the reply to the fourth discovery (about 4 s in), the timeout ends the
    // turn half a second later, and the tick that would send it comes after that.
    setIpRow("a resend queued at the timeout: taken back, not counted", "--ignore-setip 0", "",
             FIXED "--wait 1.5 --timeout 3", 4, 1, "!timeout after 1 send(s)");
    // The ARP check: "@holds ADDRESS [MAC] [unprivileged]", a host of another family holds ADDRESS.
    setIpRow("address held by another host: 6, its MAC named, nothing sent", "",
             "@holds 198.18.0.99 9a:00:00:00:00:99", "--static 198.18.0.99 --mask 255.255.255.0", 6, 0,
             "!address in use: 198.18.0.99 answers ARP from 9a:00:00:00:00:99, not the device's");
    setIpRow("address held by another host, without CAP_NET_RAW: 6", "",
             "@holds 198.18.0.98 9a:00:00:00:00:98 unprivileged", "--static 198.18.0.98 --mask 255.255.255.0",
             6, 0, "!answers ARP from 9a:00:00:00:00:98");
    setIpRow("the device itself answers for the address: verified", "",
             "@holds 198.18.0.78 02:00:00:00:00:01", "--static 198.18.0.78 --mask 255.255.255.0", 0, 1,
             "!answers ARP from 02:00:00:00:00:01, a device found by the search: not a conflict");
    setIpRow("address held, --no-conflict-check: sent", "", "@holds 198.18.0.96",
             "--static 198.18.0.96 --mask 255.255.255.0 --no-conflict-check", 0, 1, "198.18.0.96");
    setIpRow("outside every local subnet: said, sent with --force", "", "",
             "--static 10.1.2.3 --mask 255.0.0.0 --force", 0, 1,
             "!check not run for 10.1.2.3: no local interface's subnet holds it; going on");
    setIpRow("outside every local subnet, --require-free: 6", "", "",
             "--static 10.1.2.3 --mask 255.0.0.0 --force --require-free", 6, 0, "!refused (--require-free)");
    setIpRow("refused before a socket opens", "", "", "--static 198.18.0.0 --mask 255.255.255.0", 2, -1,
             "!refused: ");
}

void tst_Cli::setIp()
{
    QFETCH(QString, sim);
    QFETCH(QString, control);
    QFETCH(QString, options);
    QFETCH(int, exit);
    QFETCH(int, sends);
    QFETCH(QString, output);
    startSim(QStringLiteral("--devices 2 ") + sim);
    if (!control.isEmpty() && !control.startsWith(QLatin1Char('@')))
        m_sim->control(control.toLatin1());
    const QStringList holds =
        control.startsWith(QLatin1String("@holds ")) ? control.split(QLatin1Char(' ')) : QStringList();
    const Holder holder(holds.mid(1, 1), holds.value(2).contains(QLatin1Char(':')) ? holds[2] : QString());
    CliProcess &cli = start({}, QStringLiteral("set-ip --wait 1 --mac 02:00:00:00:00:01 ") + options,
                            control == QLatin1String("@forge"),
                            holds.contains(QLatin1String("unprivileged")) ? Unprivileged : QStringList());
    if (control == QLatin1String("@silence 0")) {
        QTRY_VERIFY_WITH_TIMEOUT(setIpSends() > 0, 4000);
        m_sim->control(control.mid(1).toLatin1());
    }
    QCOMPARE(cli.finish(15000), exit);
    QCOMPARE(setIps().size(), qMax(sends, 0));
    QCOMPARE(m_sim->rx.isEmpty(), sends < 0);
    const QByteArray &where = output.startsWith(QLatin1Char('!')) ? cli.err : cli.out;
    QVERIFY2(where.contains(output.mid(output.startsWith(QLatin1Char('!'))).toUtf8()), where.constData());
}

void tst_Cli::apply_data()
{
    QTest::addColumn<QString>("plan");
    // options: "sim: ..." before " | " goes to the simulator, "holds: ..." to a Holder
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("results"); // of the rows, in the summary; empty or "!A|B": none, A, B said
    QTest::addColumn<QString>("sent");    // the devices the commands went to, in order (last octet)
#ifdef LANSCOUT_SANITIZED
    const int many = 5; // two seconds a device: the full plan runs in the plain build
#else
    const int many = 20;
#endif
    QString plan = QStringLiteral("mac,version,mode,ip,mask,gateway,dns1,dns2\n"), sent;
    for (int i = 1; i <= many; ++i) {
        plan += QStringLiteral("02:00:00:00:00:%1,V1.%2,").arg(i, 2, 16, QLatin1Char('0')).arg(i) +
                (i % 5 ? QStringLiteral("static,198.18.0.%1,255.255.255.0,198.18.0.1\n").arg(100 + i)
                       : QStringLiteral("dhcp\n"));
        sent += QStringLiteral("%1 ").arg(i, 2, 16, QLatin1Char('0'));
    }
    QTest::addRow("%d devices, each verified", many)
        << plan << "" << 0 << QStringLiteral("verified ").repeated(many).trimmed() << sent.trimmed();
    const QString good = QStringLiteral("02:00:00:00:00:01,,static,198.18.0.70,255.255.255.0\n");
    auto to = [](int device, int address) {
        return QStringLiteral("02:00:00:00:00:0%1,,static,198.18.0.%2,255.255.255.0\n")
            .arg(device)
            .arg(address);
    };
    auto row = [](const char *name, const QString &plan, const char *options, int exit, const char *results,
                  const char *sent) {
        QTest::newRow(name) << plan << QString::fromUtf8(options) << exit << QString::fromUtf8(results)
                            << QString::fromUtf8(sent);
    };
    row("one bad row: nothing sent", good + QStringLiteral("02:00:00:00:00:02,,bootp"), "", 2, "", "");
    row("--force: the unknown device skipped, the other verified",
        good + QStringLiteral("02:00:00:00:00:99,,dhcp"), "--force --format json", 3, "verified not-found",
        "01");
    row("--force: a row refused, the other verified: not 2, as if nothing was sent",
        good + QStringLiteral("02:00:00:00:00:02,,static,198.18.0.71,255.255.255.0,198.18.0.1/24"),
        "--force --format json", 4, "verified refused", "01");
    // Device 2 holds .11 until it moves.
    row("the move that frees an address goes first", to(1, 11) + to(2, 120), "--format json", 0,
        "verified verified", "02 01");
    row("the device that frees it keeps it: the row that takes it is not sent", to(2, 120) + to(1, 11),
        "sim: --ignore-setip 1 | --timeout 3 --retries 0 --format json", 4, "timeout held", "02");
    row("a swap: refused, nothing sent", to(1, 11) + to(2, 10), "", 2, "", "");
    row("two of three addresses held by another host: 6, both listed, nothing sent",
        to(1, 70) + to(2, 98) + to(3, 99), "holds: 198.18.0.98 198.18.0.99 | --format json", 6,
        "!line 2: address in use: 198.18.0.98|line 3: address in use: 198.18.0.99", "");
    row("dry run, JSON: the commands inside", good + to(2, 120), "--dry-run --format json", 0,
        "dry-run dry-run", "");
    row("SIGINT in the first row: the summary, then 130", good + to(2, 120) + to(3, 121),
        "sim: --ignore-setip 0 | --format json --timeout 20", 130, "interrupted not-reached not-reached",
        "01");
}

void tst_Cli::apply()
{
    QFETCH(QString, plan);
    QFETCH(QString, options);
    QFETCH(int, exit);
    QFETCH(QString, results);
    QFETCH(QString, sent);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("plan.csv")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(plan.toUtf8()) > 0);
    file.close();
    const QString before =
        options.contains(QLatin1String(" | ")) ? options.section(QLatin1String(" | "), 0, 0) : QString();
    options = options.section(QLatin1String(" | "), -1);
    const QString sim = before.startsWith(QLatin1String("sim: ")) ? before.mid(5) : QString();
    const Holder holder(before.startsWith(QLatin1String("holds: ")) ? before.mid(7).split(QLatin1Char(' '))
                                                                    : QStringList());
    CliProcess &cli = start((QStringLiteral("--devices 20 ") + sim).trimmed(),
                            QStringLiteral("apply %1 --wait 1 %2").arg(file.fileName(), options));
    if (exit > 128) {
        QTRY_VERIFY_WITH_TIMEOUT(setIpSends() > 0, 5000);
        cli.signal(exit - 128);
    }
    QCOMPARE(cli.finish(80000), exit);
    for (const QString &said :
         results.section(QLatin1Char('!'), 1).split(QLatin1Char('|'), Qt::SkipEmptyParts))
        QVERIFY2(cli.err.contains(said.toUtf8()), cli.err.constData());
    results = results.section(QLatin1Char('!'), 0, 0);
    QStringList got;
    if (options.contains(QLatin1String("json"))) {
        const QJsonDocument summary = QJsonDocument::fromJson(cli.out);
        QVERIFY2(results.isEmpty() || summary.isArray(), cli.out.constData());
        for (const QJsonValue row : summary.array()) {
            got << row[QLatin1String("result")].toString();
            QCOMPARE(row[QLatin1String("command")].toString().startsWith(QLatin1String("@qxsetip/")),
                     options.contains(QLatin1String("--dry-run")));
        }
    } else {
        for (const QByteArray &line : cli.out.split('\n').mid(1, results.count(QLatin1Char(' ')) + 1))
            got << QString::fromUtf8(line.simplified().split(' ').value(3));
    }
    QCOMPARE(got.join(QLatin1Char(' ')).trimmed(), results);
    QStringList to;
    for (const QByteArray &command : setIps())
        to << QString::fromLatin1(command.split('/').value(2).right(2)).toLower();
    QCOMPARE(to.join(QLatin1Char(' ')), sent);
}

void tst_Cli::undo_data()
{
    QTest::addColumn<QString>("steps");   // after "lanscout-cli", " ; " between; M: device 0's MAC
    QTest::addColumn<QString>("journal"); // "blocked": a file where its folder would be
    QTest::addColumn<int>("exit");        // of the last step (the others: 0)
    QTest::addColumn<QString>("sent");    // the last set-IP command; empty: nothing on the wire
    QTest::addColumn<QString>("ipaddr");  // device 0's at the end
    const QString back = QStringLiteral(
        "@qxsetip/V1.1/02:00:00:00:00:01/static/198.18.0.10/255.255.255.0/198.18.0.1/198.18.0.1/198.18.0.2!");
    const QString again =
        QStringLiteral("@qxsetip/V1.1/02:00:00:00:00:01/static/198.18.0.77/255.255.255.0/198.18.0.1//!");
    auto row = [](const char *name, const char *steps, const char *journal, int exit, const QString &sent,
                  const char *ipaddr) {
        QTest::newRow(name) << QString::fromUtf8(steps) << QString::fromUtf8(journal) << exit << sent
                            << QString::fromUtf8(ipaddr);
    };
    row("after a static change", "set-ip --mac M" FIXED "; undo --mac M", "", 0, back, "198.18.0.10");
    row("after a dhcp change", "set-ip --mac M --dhcp ; undo --mac M", "", 0, back, "198.18.0.10");
    row("an undo undone: the change again", "set-ip --mac M" FIXED "; undo --mac M ; undo --mac M", "", 0,
        again, "198.18.0.77");
    row("--last: the newest change",
        "set-ip --mac 02:00:00:00:00:02 --dhcp ; set-ip --mac M --dhcp ; undo --last", "", 0, back,
        "198.18.0.10");
    row("no change of the device: 3", "undo --mac M", "", 3, {}, "198.18.0.10");
    row("journal not writable: refused, nothing sent", "set-ip --mac M" FIXED, "blocked", 2, {},
        "198.18.0.10");
    row("journal not writable, --no-journal: sent", "set-ip --mac M" FIXED "--no-journal", "blocked", 0,
        again, "198.18.0.77");
}

void tst_Cli::undo()
{
    QFETCH(QString, steps);
    QFETCH(QString, journal);
    QFETCH(int, exit);
    QFETCH(QString, sent);
    QFETCH(QString, ipaddr);
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("blocked")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    const QString path = dir.filePath(journal.isEmpty() ? QStringLiteral("journal.jsonl")
                                                        : QStringLiteral("blocked/journal.jsonl"));
    qputenv("LANSCOUT_JOURNAL", QFile::encodeName(path));
    startSim(QStringLiteral("--devices 2"));
    const QStringList commands = steps.split(QLatin1String(" ; "));
    for (const QString &step : commands) {
        QString arguments = step + QLatin1String(" --wait 1");
        start({}, arguments.replace(QLatin1String(" M "), QLatin1String(" 02:00:00:00:00:01 ")));
        QCOMPARE(m_cli->finish(20000), &step == &commands.last() ? exit : 0);
    }
    const QByteArrayList sentIps = setIps();
    QCOMPARE(QString::fromLatin1(sentIps.isEmpty() ? QByteArray() : sentIps.last()), sent);
    QCOMPARE(m_sim->rx.isEmpty(), sent.isEmpty());
    QCOMPARE(m_sim->devices.value(0).ipaddr, ipaddr);
    // Each change journaled with its outcome, an undo too.
    QFile file(path);
    const int changes = journal.isEmpty() && exit == 0 ? int(commands.size()) : 0;
    QCOMPARE(file.open(QIODevice::ReadOnly), changes > 0);
    QStringList outcomes;
    for (const cli::JournalEntry &e : cli::readJournal(file.readAll()).entries)
        outcomes << e.outcome;
    QCOMPARE(outcomes.join(QLatin1Char(' ')), QStringLiteral("verified ").repeated(changes).trimmed());
}

// Port 8888 held: alone on the only address, the engine hears nothing: said, and not an empty LAN;
// shared with the window, the command goes on and says so.
void tst_Cli::portHeld_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("exit"); // 0: the window holds it
    QTest::addColumn<QString>("said");
    const char *alone = "no usable interface: port 8888 could not be bound";
    QTest::newRow("list, alone") << "list --wait 0.5" << 7 << alone;
    QTest::newRow("watch, alone") << "watch --duration 5" << 7 << alone;
    QTest::newRow("set-ip, alone") << "set-ip --mac 02:00:00:00:00:01 --dhcp" << 7 << alone;
    QTest::newRow("list, beside the window")
        << "list --wait 0.5" << 0 << "another program (lanScout's window?) holds port 8888";
}

void tst_Cli::portHeld()
{
    QFETCH(QString, arguments);
    QFETCH(int, exit);
    QFETCH(QString, said);
    QUdpSocket holder; // alone on the port: every shared bind fails beside it
    AppProcess window{QStringLiteral("*.debug=false")};
    QString error;
    if (exit)
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, protocol::HostPort, QAbstractSocket::DontShareAddress));
    else
        QVERIFY2(window.start(&error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(portTaken(), 5000);
    CliProcess &cli = start({}, arguments);
    QCOMPARE(cli.finish(3000), exit);
    QVERIFY2(cli.err.contains(said.toUtf8()), cli.err.constData());
    QVERIFY(cli.out.isEmpty());
    QVERIFY(exit || window.terminateAndWait(5000) >= 0);
}

QString tst_Cli::writeBaseline()
{
    cli::Snapshot site;
    for (int i : {0, 1, 2}) {
        site.devices << cli::Device{m_sim->devices.value(i), {}, {}};
        site.devices.last().rec.cnt = 0;
    }
    site.devices[1].rec.ipaddr = QStringLiteral("198.18.0.50");
    site.devices[2].rec.mac = QStringLiteral("02:00:00:00:00:42");
    QFile file(m_state.filePath(QStringLiteral("site.json")));
    if (!file.open(QIODevice::WriteOnly) || !file.write(cli::snapshotJson(site)))
        qFatal("cannot write the baseline");
    return file.fileName();
}

void tst_Cli::baseline_data()
{
    QTest::addColumn<bool>("changes");
    QTest::newRow("a fresh snapshot: no difference") << false;
    QTest::newRow("one missing, one new, one moved") << true;
}

void tst_Cli::baseline()
{
    QFETCH(bool, changes);
    const QString site = m_state.filePath(QStringLiteral("snapshot.json"));
    QCOMPARE(
        start(QStringLiteral("--devices 3"), QStringLiteral("snapshot --wait 1.5 -o ") + site).finish(5000),
        0);
    if (changes) {
        m_sim->control("silence 2");
        SetIpRequest moved = m_sim->devices[1];
        moved.ipaddr = QStringLiteral("198.18.0.77");
        m_forgery.writeDatagram(protocol::setIpCommand(moved), QHostAddress(QStringLiteral("198.18.0.255")),
                                protocol::DevicePort);
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->devices[1].ipaddr, moved.ipaddr, 2000);
        m_forged = m_sim->devices[0]; // a device the snapshot lacks
        m_forged.mac = QStringLiteral("02:00:00:00:00:99"), m_forged.ipaddr = QStringLiteral("198.18.0.99");
        m_forger.start(200);
    }
    CliProcess &cli = *(m_cli = std::make_unique<CliProcess>(
                            QStringLiteral("diff %1 --wait 2 --format json").arg(site), *m_sim));
    QCOMPARE(cli.finish(6000), changes ? 1 : 0);
    const QJsonDocument diff = QJsonDocument::fromJson(cli.out);
    QStringList found;
    for (const char *kind : {"missing", "new", "moved", "changed", "conflicts"}) {
        for (const QJsonValue d : diff[QLatin1String(kind)].toArray())
            found << QLatin1String(kind) + QLatin1Char(' ') + d[QLatin1String("mac")].toString() +
                         d[QLatin1String("to")].toString(QString());
    }
    QCOMPARE(found.join(QLatin1Char('|')),
             QLatin1String(
                 changes
                     ? "missing 02:00:00:00:00:03|new 02:00:00:00:00:99|moved 02:00:00:00:00:02198.18.0.77"
                     : ""));
}

void tst_Cli::watchBaseline()
{
    startSim(QStringLiteral("--devices 3"));
    CliProcess &cli = start({}, QStringLiteral("watch --format jsonl --baseline ") + writeBaseline());
    const auto against = [&] { return events(cli, QStringLiteral("missing returned new moved")); };
    const QString first =
        QStringLiteral("moved 02:00:00:00:00:02|new 02:00:00:00:00:03|missing 02:00:00:00:00:42");
    QTRY_COMPARE_WITH_TIMEOUT(against(), first, 6000);
    m_sim->control("silence 0");
    QTRY_COMPARE_WITH_TIMEOUT(against(), first + QLatin1String("|missing 02:00:00:00:00:01"), 7000);
    m_sim->control("wake 0");
    QTRY_COMPARE_WITH_TIMEOUT(
        against(), first + QLatin1String("|missing 02:00:00:00:00:01|returned 02:00:00:00:00:01"), 3000);
    cli.signal(SIGTERM);
    QCOMPARE(cli.finish(3000), 0);
}

void tst_Cli::restore()
{
    startSim(QStringLiteral("--devices 3"));
    CliProcess &cli =
        start({}, QStringLiteral("apply --from-baseline %1 --wait 1.5 --format json").arg(writeBaseline()));
    QCOMPARE(cli.finish(20000), 0);
    QVERIFY2(cli.err.contains("baseline entry 3 (\"02:00:00:00:00:42\"): not found, not restored"),
             cli.err.constData());
    const QJsonArray rows = QJsonDocument::fromJson(cli.out).array();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][QLatin1String("result")].toString(), QStringLiteral("verified"));
    QCOMPARE(setIpSends(), 1);
    SetIpRequest sent = m_sim->devices[1];
    sent.ipaddr = QStringLiteral("198.18.0.50");
    QCOMPARE(m_sim->rxOf(protocol::setIpCommand(sent)).size(), 1);
    QCOMPARE(m_sim->devices[0].ipaddr, QStringLiteral("198.18.0.10")); // where the baseline has it
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
