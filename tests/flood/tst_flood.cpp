// Floods at the whole program in the test bed while three simulated devices keep answering: what
// it makes of them, not how fast (the benchmark measures that). The two load floods would time
// the sanitizers in a sanitized build: there only the hostile replies run.

#include "floodgen.h"
#include "rig.h"
#include "testnetwork.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>

namespace {

const QString TraceAndProbe = QStringLiteral("lanScout.probe.debug=true");

#ifdef LANSCOUT_SANITIZED
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif

// At the program's address, its subnet's broadcast and the limited broadcast.
const QString AllTargets = QStringLiteral(" --to 198.18.0.1 --to 198.18.0.255 --to 255.255.255.255");

// "--kind K --count N --duration-ms MS"
QString floodOptions(const char *kind, int count, int durationMs)
{
    return QStringLiteral("--kind %1 --count %2 --duration-ms %3 ")
        .arg(QLatin1String(kind))
        .arg(count)
        .arg(durationMs);
}

} // namespace

class tst_Flood : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { LANSCOUT_REQUIRE_TEST_NETWORK(); }
    void cleanup();
    void malformedFlood();
    void terminateUnderLoad();
    void hostileReplies();
    void toolsRefuseOutsideTheTestNetwork_data();
    void toolsRefuseOutsideTheTestNetwork();

private:
    // The simulator with three devices and the program, once it lists them.
    AppProcess *startApp(const QString &loggingRules);

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<AppProcess> m_app;
};

void tst_Flood::cleanup()
{
    if (QTest::currentTestFailed() && m_app)
        qWarning("the program's last output:\n%s\nthe simulator's:\n%s", m_app->tail.constData(),
                 m_sim->stderrText.constData());
    m_app.reset();
    m_sim.reset();
}

AppProcess *tst_Flood::startApp(const QString &loggingRules)
{
    m_sim = std::make_unique<SimProcess>();
    m_app = std::make_unique<AppProcess>(loggingRules);
    QString error;
    if (!m_sim->start({QStringLiteral("--devices"), QStringLiteral("3")}, &error) || !m_app->start(&error))
        qWarning("%s", qPrintable(error));
    else if (!QTest::qWaitFor([this] { return m_app->rows() == 3; }, 5000))
        qWarning("the program did not list the three devices");
    else
        return m_app.get();
    return nullptr;
}

void tst_Flood::malformedFlood()
{
    if (Sanitized)
        QSKIP("a load test: under the sanitizers it would time them; the unsanitized suite runs it");
    constexpr int Count = 100000, DurationMs = 5000;
    AppProcess *app = startApp(TraceAndProbe); // every datagram traced, as in the field
    QVERIFY(app);
    const qint64 rxBefore = app->rxLines, floodStart = app->now();
    Flood flood;
    QVERIFY(flood.start(floodOptions("malformed", Count, DurationMs) + AllTargets));
    QVERIFY2(flood.finish(DurationMs + 15000), qPrintable(flood.summary));
    QTest::qWait(2000); // two more probe seconds, and the trace of what was still queued
    QVERIFY(app->running());
    // Every datagram read and traced, none of them a device, no real device gone, and the window
    // answering all along (a probe line every second).
    QVERIFY2(app->rxLines - rxBefore >= Count, qPrintable(QString::number(app->rxLines - rxBefore)));
    const auto probes = app->probesSince(floodStart);
    QVERIFY(probes.size() >= DurationMs / 1000);
    for (const AppProcess::Probe &p : probes) {
        QCOMPARE(p.rows, 3);
        // The waits that ended late, as read from the probe line: each late, the largest its lag-max.
        QVERIFY(p.lateMs.size() <= p.waits && !p.lateMs.contains(0));
        QCOMPARE(p.lateMs.isEmpty() ? 0 : *std::max_element(p.lateMs.cbegin(), p.lateMs.cend()), p.lagMaxMs);
    }
    QVERIFY(app->terminateAndWait(5000) >= 0 && app->exitedCleanly());
}

// SIGTERM closes the main window as its close button would: under a flood of new devices, with
// every reply traced and the list dumped, the program must still end soon and cleanly.
void tst_Flood::terminateUnderLoad()
{
    if (Sanitized)
        QSKIP("a load test: under the sanitizers it would time them; the unsanitized suite runs it");
    AppProcess *app = startApp(TraceAndProbe);
    QVERIFY(app);
    Flood sender;
    QVERIFY(sender.start(floodOptions("devices", 100000, 2500) + AllTargets));
    QTest::qWait(1500);
    QVERIFY(app->running());
    const qint64 ms = app->terminateAndWait(10000);
    QVERIFY2(ms >= 0 && ms <= 2000, qPrintable(QStringLiteral("%1 ms").arg(ms)));
    QVERIFY(app->exitedCleanly());
}

// Replies whose fields hold markup, control characters, direction overrides and texts of tens
// of KB, and datagrams of the maximum size; the trace and the list dumps print them all. How
// such a device looks in the window: tst_mainwindow.
void tst_Flood::hostileReplies()
{
    AppProcess *app = startApp(TraceAndProbe);
    QVERIFY(app);
    Flood flood; // some 40 rounds of the cycle, about 20 MB
    QVERIFY(flood.start(floodOptions("hostile", 520, 4000) + AllTargets));
    QVERIFY2(flood.finish(19000), qPrintable(flood.summary));
    QTRY_COMPARE_WITH_TIMEOUT(app->rows(), 3 + flood::hostileDevices().size(), 3000);
    QVERIFY(app->running());
    // The maximum-size datagrams were read whole: their trace lines are as long.
    QVERIFY2(app->longestLine >= flood::MaxDatagram - 2, qPrintable(QString::number(app->longestLine)));
    // Nothing from the network reaches the output raw: no control byte (but line ends and TAB),
    // so no forged line and nothing for a terminal.
    const QByteArray trace = app->trace();
    static const QRegularExpression raw(QStringLiteral("[\\x00-\\x08\\x0b-\\x1f\\x7f]|\\xc2[\\x80-\\x9f]"));
    const QRegularExpressionMatch control = raw.match(QString::fromLatin1(trace));
    QVERIFY2(!control.hasMatch(),
             qPrintable(QString::fromLatin1(trace.mid(control.capturedStart() - 60, 80))));
    QVERIFY(!trace.contains("\nlanScout.udp: rx:  qxsrhip/FORGED"));
    QVERIFY(trace.contains("lanScout.udp: rx:  junk\\x0d\\x0alanScout.udp: rx:  qxsrhip/FORGED"));
    // What such a reply can do is what any reply does: an entry that ages out.
    QTRY_COMPARE_WITH_TIMEOUT(app->rows(), 3, 7000);
    QVERIFY(app->terminateAndWait(5000) >= 0 && app->exitedCleanly());
}

void tst_Flood::toolsRefuseOutsideTheTestNetwork_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("processOne"); // false: here, without the test bed's variable
    QTest::addColumn<QByteArray>("message");
    const QByteArray ownNamespace("this process is in the machine's own network namespace");
    QTest::newRow("simulator") << devsimPath()
                               << QStringList{QStringLiteral("--lifetime"), QStringLiteral("5")} << true
                               << ownNamespace;
    QTest::newRow("flood") << floodPath()
                           << floodOptions("devices", 1, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                           << true << ownNamespace;
#ifdef LANSCOUT_BENCH_PATH
    QTest::newRow("benchmark") << QStringLiteral(LANSCOUT_BENCH_PATH)
                               << QStringList{QStringLiteral("--smoke")} << true << ownNamespace;
#endif
    // A private namespace that no test bed made: nothing says it is the test network.
    QTest::newRow("simulator, no test bed variable")
        << devsimPath() << QStringList{QStringLiteral("--lifetime"), QStringLiteral("5")} << false
        << QByteArray("LANSCOUT_TESTBED is not set");
}

// Process 1 of a fresh PID namespace is the tool itself, in this (the host side's) network
// namespace: to the tool that looks like the machine's own network.
void tst_Flood::toolsRefuseOutsideTheTestNetwork()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(bool, processOne);
    QFETCH(QByteArray, message);
    QProcess tool;
    if (processOne) {
        tool.start(QStringLiteral("unshare"), QStringList{QStringLiteral("--pid"), QStringLiteral("--fork"),
                                                          QStringLiteral("--mount-proc"), program} +
                                                  args);
    } else {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("LANSCOUT_TESTBED"));
        tool.setProcessEnvironment(env);
        tool.start(program, args);
    }
    QVERIFY2(tool.waitForFinished(5000), qPrintable(tool.errorString()));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 3);
    const QByteArray said = tool.readAllStandardOutput() + tool.readAllStandardError();
    QVERIFY2(said.contains(message), said.constData());
    QVERIFY(!said.contains("ready") && !said.contains("sent")); // nothing bound, nothing sent
}

QTEST_GUILESS_MAIN(tst_Flood)
#include "tst_flood.moc"
