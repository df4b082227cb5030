// Floods at the whole program in the test bed while three simulated devices keep answering.
// The load floods judge speed, which a sanitized build would measure instead: there only the
// hostile replies run.

#include "floodgen.h"
#include "rig.h"
#include "testnetwork.h"

#include <QRegularExpression>
#include <QTest>

namespace {

const QString ProbeOnly = QStringLiteral("*.debug=false;lanScout.probe.debug=true");
const QString TraceAndProbe = QStringLiteral("lanScout.probe.debug=true");

#ifdef LANSCOUT_SANITIZED
constexpr bool Sanitized = true; // freed memory stays in quarantine: memory is printed, not judged
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

struct Lag
{
    int seconds = 0, maxMs = -1, worstP99Ms = -1, minRows = -1, maxRows = -1;
};
Lag lagOf(const QVector<AppProcess::Probe> &probes, const char *what)
{
    Lag f;
    for (const AppProcess::Probe &p : probes) {
        ++f.seconds;
        f.maxMs = std::max(f.maxMs, p.lagMaxMs);
        f.worstP99Ms = std::max(f.worstP99Ms, p.lagP99Ms);
        f.minRows = f.minRows < 0 ? p.rows : std::min(f.minRows, p.rows);
        f.maxRows = std::max(f.maxRows, p.rows);
    }
    qInfo("%s: GUI lag over %d probe lines: p99 (worst second) %d ms, max %d ms; rows %d..%d", what,
          f.seconds, f.worstP99Ms, f.maxMs, f.minRows, f.maxRows);
    return f;
}

} // namespace

class tst_Flood : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { LANSCOUT_REQUIRE_TEST_NETWORK(); }
    void cleanup();
    void malformedFlood();
    void newDevicesFlood();
    void newDevicesWithTraceOn();
    void terminateUnderLoad_data();
    void terminateUnderLoad();
    void hostileReplies();
    void toolsRefuseTheNetworkOfProcessOne_data();
    void toolsRefuseTheNetworkOfProcessOne();

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
    constexpr int Count = 200000, DurationMs = 10000;
    AppProcess *app = startApp(TraceAndProbe); // every datagram traced, as in the field
    QVERIFY(app);
    const qint64 rxBefore = app->rxLines, startKib = app->rssKib(), floodStart = app->now();
    Flood flood;
    QVERIFY(flood.start(floodOptions("malformed", Count, DurationMs) + AllTargets));
    QVERIFY2(flood.finish(DurationMs + 15000), qPrintable(flood.summary));
    const qint64 floodMs = app->now() - floodStart;
    QTest::qWait(2000); // two more probe seconds, and the trace of what was still queued
    QVERIFY(app->running());
    const qint64 read = app->rxLines - rxBefore, peakKib = app->peakRssKibSince(floodStart);
    qInfo("malformed flood: %s; %lld traced as read; VmRSS %lld KiB, peak +%lld", qPrintable(flood.summary),
          read, startKib, peakKib - startKib);
    const Lag lag = lagOf(app->probesSince(floodStart), "malformed flood");

    // It reached the program; no real device dropped out and nothing of it became a device;
    // the window kept answering, a probe line every second; what is read is dropped.
    QVERIFY2(read >= Count / 2, qPrintable(QString::number(read)));
    QCOMPARE(lag.minRows, 3);
    QCOMPARE(lag.maxRows, 3);
    QVERIFY2(lag.seconds >= int(floodMs / 1000) - 2, qPrintable(QString::number(lag.seconds)));
    QVERIFY2(lag.maxMs <= 250, qPrintable(QString::number(lag.maxMs)));
    QVERIFY2(peakKib - startKib <= 32 * 1024, qPrintable(QString::number(peakKib - startKib)));
    QVERIFY(app->terminateAndWait(5000) >= 0 && app->exitedCleanly());
}

// Well-formed replies, each from a device of its own: the list grows, then ages back to the
// real devices. Twice, so that memory held after the first round shows as reused, not leaked.
// The trace is off: with it every reply dumps the list (newDevicesWithTraceOn).
void tst_Flood::newDevicesFlood()
{
    if (Sanitized)
        QSKIP("a load test: under the sanitizers it would time them; the unsanitized suite runs it");
    constexpr int Count = 100000, DurationMs = 2500;
    constexpr int AgeOutMs = 6000; // four periods unanswered, one under way, one to catch up
    AppProcess *app = startApp(ProbeOnly);
    QVERIFY(app);
    const qint64 startKib = app->rssKib();
    qint64 peakKib[2] = {};
    int maxRows[2] = {};
    for (int round = 0; round < 2; ++round) {
        Flood flood;
        const qint64 floodStart = app->now();
        QVERIFY(flood.start(floodOptions("devices", Count, DurationMs) +
                            QStringLiteral("--to 198.18.0.1 --first %1").arg(round * Count)));
        QVERIFY2(flood.finish(DurationMs + 15000), qPrintable(flood.summary));
        const qint64 floodEnd = app->now();
        // Waits longer than allowed, so that the log shows how long it did take.
        const bool back = QTest::qWaitFor(
            [&] { return app->rows() == 3 && app->probes.last().ms > floodEnd; }, 2 * AgeOutMs + 6000);
        const qint64 backMs = back ? app->probes.last().ms - floodEnd : -1;
        QTest::qWait(1000); // what is freed is freed by now
        const QByteArray what = "new devices, round " + QByteArray::number(round + 1);
        const Lag lag = lagOf(app->probesSince(floodStart), what.constData());
        peakKib[round] = app->peakRssKibSince(floodStart);
        maxRows[round] = lag.maxRows;
        qInfo("%s: %s; back to 3 rows %lld ms after it; VmRSS peak +%lld KiB", what.constData(),
              qPrintable(flood.summary), backMs, peakKib[round] - startKib);
        QVERIFY(app->running());
        QVERIFY2(lag.maxRows >= Count / 2 && lag.minRows >= 3, qPrintable(QString::number(lag.maxRows)));
        QVERIFY2(back && backMs <= AgeOutMs, qPrintable(QStringLiteral("%1 ms").arg(backMs)));
    }
    // The second round peaks at what its own rows need (at the first round's cost per row) or
    // at the first round's peak, whichever is more: not the two added up.
    const qint64 reused = qMax(peakKib[0], startKib + (peakKib[0] - startKib) * maxRows[1] / maxRows[0]);
    QVERIFY2(peakKib[1] <= reused + reused / 8,
             qPrintable(QStringLiteral("%1 KiB then %2 KiB").arg(peakKib[0]).arg(peakKib[1])));
    QVERIFY(app->terminateAndWait(5000) >= 0 && app->exitedCleanly());
}

// With the default debug output the trace of each reply and the list dumps must not make the
// program deaf: a dump per reply would cost the flood's length times the list's.
void tst_Flood::newDevicesWithTraceOn()
{
    if (Sanitized)
        QSKIP("a load test: under the sanitizers it would time them; the unsanitized suite runs it");
    constexpr int Count = 20000;
    AppProcess *app = startApp(TraceAndProbe);
    QVERIFY(app);
    const qint64 floodStart = app->now();
    Flood flood;
    QVERIFY(flood.start(floodOptions("devices", Count, 2000) +
                        QStringLiteral("--to 198.18.0.1 --first 1000000")));
    QVERIFY2(flood.finish(17000), qPrintable(flood.summary));
    const bool caughtUp = QTest::qWaitFor([&] { return app->rows() >= Count * 9 / 10; }, 5000);
    const Lag lag = lagOf(app->probesSince(floodStart), "new devices, debug output on");
    QVERIFY(app->running());
    QVERIFY2(caughtUp, qPrintable(QStringLiteral("%1 of %2 listed").arg(app->rows()).arg(Count)));
    QVERIFY2(lag.minRows >= 3, qPrintable(QString::number(lag.minRows)));
    QVERIFY(app->terminateAndWait(5000) >= 0 && app->exitedCleanly());
}

void tst_Flood::terminateUnderLoad_data()
{
    QTest::addColumn<QString>("flood");
    QTest::addColumn<bool>("trace");
    QTest::addColumn<int>("signalAfterMs"); // from the start of the flood

    QTest::newRow("malformed flood, debug output on")
        << floodOptions("malformed", 100000, 5000) << true << 2000;
    QTest::newRow("new devices flood, debug output off")
        << floodOptions("devices", 100000, 2500) << false << 1500;
    // Every accepted reply dumps the whole list.
    QTest::newRow("new devices flood, debug output on")
        << floodOptions("devices", 100000, 2500) << true << 1500;
    // Tens of thousands of rows leave the table at once, from 4 s on.
    QTest::newRow("forged devices ageing out, debug output off")
        << floodOptions("devices", 60000, 1500) << false << 5000;
}

// SIGTERM closes the main window as its close button would: under a flood the program must
// still end within a second, with exit code 0.
void tst_Flood::terminateUnderLoad()
{
    if (Sanitized)
        QSKIP("a load test: under the sanitizers it would time them; the unsanitized suite runs it");
    QFETCH(QString, flood);
    QFETCH(bool, trace);
    QFETCH(int, signalAfterMs);
    AppProcess *app = startApp(trace ? TraceAndProbe : ProbeOnly);
    QVERIFY(app);
    Flood sender;
    QVERIFY(sender.start(flood + AllTargets));
    QTest::qWait(signalAfterMs);
    QVERIFY(app->running());
    const int rows = app->rows();
    const qint64 ms = app->terminateAndWait(10000);
    qInfo("SIGTERM with %d rows listed: ended after %lld ms", rows, ms);
    QVERIFY2(ms >= 0, "the program did not end within 10 s");
    QVERIFY(app->exitedCleanly());
    QVERIFY2(ms <= 1000, qPrintable(QStringLiteral("%1 ms").arg(ms)));
}

// Replies whose fields hold markup, control characters, direction overrides and texts of tens
// of KB, and datagrams of the maximum size; the trace and the list dumps print them all. How
// such a device looks in the window: tst_hostile_details.
void tst_Flood::hostileReplies()
{
    AppProcess *app = startApp(TraceAndProbe);
    QVERIFY(app);
    const qint64 startKib = app->rssKib(), floodStart = app->now();
    Flood flood;
    QVERIFY(flood.start(floodOptions("hostile", 520, 4000) +
                        AllTargets)); // some 40 rounds of the cycle, about 20 MB
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
    const qint64 peakKib = app->peakRssKibSince(floodStart);
    qInfo("hostile replies: %s; VmRSS %lld KiB, peak +%lld", qPrintable(flood.summary), startKib,
          peakKib - startKib);
    const Lag lag = lagOf(app->probesSince(floodStart), "hostile replies");
    QCOMPARE(lag.minRows, 3);
    QVERIFY2(lag.maxMs <= 250, qPrintable(QString::number(lag.maxMs)));
    QVERIFY2(Sanitized || peakKib - startKib <= 64 * 1024, qPrintable(QString::number(peakKib - startKib)));
    QVERIFY(app->terminateAndWait(5000) >= 0 && app->exitedCleanly());
}

void tst_Flood::toolsRefuseTheNetworkOfProcessOne_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("simulator") << devsimPath()
                               << QStringList{QStringLiteral("--lifetime"), QStringLiteral("5")}
                               << QByteArray("refusing to run: this process is in the machine's own network "
                                             "namespace");
    QTest::newRow("flood") << floodPath()
                           << floodOptions("devices", 1, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                           << QByteArray("refusing to run outside the test network: this process is in the "
                                         "machine's own network namespace");
#ifdef LANSCOUT_BENCH_PATH
    QTest::newRow("benchmark") << QStringLiteral(LANSCOUT_BENCH_PATH)
                               << QStringList{QStringLiteral("--smoke")}
                               << QByteArray(
                                      "refusing to run outside the test network: this process is in the "
                                      "machine's own network namespace");
#endif
}

// Process 1 of a fresh PID namespace is the tool itself, in this (the host side's) network
// namespace: to the tool that looks like the machine's own network.
void tst_Flood::toolsRefuseTheNetworkOfProcessOne()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    QProcess tool;
    tool.start(QStringLiteral("unshare"), QStringList{QStringLiteral("--pid"), QStringLiteral("--fork"),
                                                      QStringLiteral("--mount-proc"), program} +
                                              args);
    QVERIFY2(tool.waitForFinished(5000), qPrintable(tool.errorString()));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 3);
    const QByteArray said = tool.readAllStandardOutput() + tool.readAllStandardError();
    QVERIFY2(said.contains(message), said.constData());
    QVERIFY(!said.contains("ready") && !said.contains("sent")); // nothing bound, nothing sent
}

QTEST_GUILESS_MAIN(tst_Flood)
#include "tst_flood.moc"
