// Floods at the whole program in the test bed while three simulated devices keep answering: what
// it makes of them, not how fast (the benchmark measures that). The load floods would time
// the sanitizers in a sanitized build: there only the hostile replies run.

#include "floodgen.h"
#include "launchers.h"
#include "testnetwork.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>

using testbed::AppProcess;
using testbed::devsimPath;
using testbed::Flood;
using testbed::floodPath;
using testbed::SimProcess;

namespace {

// At the program's address, its subnet's broadcast and the limited broadcast.
const QString AllTargets = QStringLiteral(" --to 198.18.0.1 --to 198.18.0.255 --to 255.255.255.255");

QString floodOptions(const char *kind, int count, int durationMs)
{
    return QString::asprintf("--kind %s --count %d --duration-ms %d ", kind, count, durationMs);
}

} // namespace

class tst_Flood : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { LANSCOUT_REQUIRE_TEST_NETWORK(); }
    void cleanup();
    void loadFloods();
    void hostileReplies();
    void toolsRefuseOutsideTheTestNetwork_data();
    void toolsRefuseOutsideTheTestNetwork();

private:
    // The simulator with three devices and the program, once it lists them; every datagram
    // traced, as in the field, and a probe line every second.
    AppProcess *startApp();

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

AppProcess *tst_Flood::startApp()
{
    m_sim = std::make_unique<SimProcess>();
    m_app = std::make_unique<AppProcess>(QStringLiteral("lanScout.probe.debug=true"));
    QString error;
    if (!m_sim->start({QStringLiteral("--devices"), QStringLiteral("3")}, &error) || !m_app->start(&error))
        qWarning("%s", qPrintable(error));
    else if (!QTest::qWaitFor([this] { return m_app->rows() == 3; }, 5000))
        qWarning("the program did not list the three devices");
    else
        return m_app.get();
    return nullptr;
}

// A flood of malformed datagrams, then one of new devices. SIGTERM under the second closes the
// main window as its close button would: with every reply traced and the list dumped, the program
// must still end soon and cleanly.
void tst_Flood::loadFloods()
{
#ifdef LANSCOUT_SANITIZED
    QSKIP("a load test: under the sanitizers it would time them; the unsanitized suite runs it");
#endif
    constexpr int Count = 100000, DurationMs = 5000;
    AppProcess *app = startApp();
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
    AppProcess *app = startApp();
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
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("message");
    // Process 1 of a fresh PID namespace is the tool itself, in this (the host side's) network
    // namespace: to the tool that looks like the machine's own network.
    const QStringList processOne =
        QStringLiteral("unshare --pid --fork --mount-proc").split(QLatin1Char(' '));
    const QStringList simulator{devsimPath(), QStringLiteral("--lifetime"), QStringLiteral("5")};
    const QByteArray ownNamespace("this process is in the machine's own network namespace");
    QTest::newRow("simulator") << processOne + simulator << ownNamespace;
    QTest::newRow("flood") << processOne + QStringList{floodPath()} +
                                  floodOptions("devices", 1, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                           << ownNamespace;
#ifdef LANSCOUT_BENCH_PATH
    QTest::newRow("benchmark") << processOne + QStringList{QStringLiteral(LANSCOUT_BENCH_PATH),
                                                           QStringLiteral("--smoke")}
                               << ownNamespace;
#endif
    // A private namespace that no test bed made: nothing says it is the test network.
    QTest::newRow("simulator, no test bed variable")
        << QStringLiteral("env -u LANSCOUT_TESTBED").split(QLatin1Char(' ')) + simulator
        << QByteArray("LANSCOUT_TESTBED is not set");
}

void tst_Flood::toolsRefuseOutsideTheTestNetwork()
{
    QFETCH(QStringList, command);
    QFETCH(QByteArray, message);
    QProcess tool;
    tool.start(command.first(), command.mid(1));
    QVERIFY2(tool.waitForFinished(5000), qPrintable(tool.errorString()));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 3);
    const QByteArray said = tool.readAllStandardOutput() + tool.readAllStandardError();
    QVERIFY2(said.contains(message), said.constData());
    QVERIFY(!said.contains("ready") && !said.contains("sent")); // nothing bound, nothing sent
}

QTEST_GUILESS_MAIN(tst_Flood)
#include "tst_flood.moc"
