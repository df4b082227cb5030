// lanscout-bench: how lanScout holds up with many devices, and how fast it starts. Run it
// inside the test bed (scripts/bench.sh does); see docs/benchmarks.md.

#include "clirun.h"
#include "enginerun.h"
#include "orchestrator.h"
#include "rawrun.h"
#include "shownprobe.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QList<int> numberList(const QString &text, bool *ok)
{
    QList<int> numbers;
    *ok = true;
    for (const QString &word : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool wordOk = false;
        const int n = word.toInt(&wordOk);
        *ok = *ok && wordOk && n >= 0;
        numbers << n;
    }
    *ok = *ok && !numbers.isEmpty();
    return numbers;
}

} // namespace

int main(int argc, char *argv[])
{
    const qint64 mainNs = bench::monotonicNs();
    // The measurements that show the window need a QApplication; the rest only a core one.
    QString mode;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--run") == 0)
            mode = QString::fromLocal8Bit(argv[i + 1]);
    }
    std::unique_ptr<QCoreApplication> app;
    if (mode == QLatin1String("engine") || mode == QLatin1String("app-startup")) {
        QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true); // as the program does
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    const qint64 appNs = bench::monotonicNs();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures lanScout against the device simulator inside the test bed and prints a results table."));
    parser.addHelpOption();
    const QCommandLineOption smoke(QStringLiteral("smoke"),
                                   QStringLiteral("A quick run that checks only that "
                                                  "the pipeline works."));
    const QCommandLineOption window(QStringLiteral("window"),
                                    QStringLiteral("Measuring window (default 60)."), QStringLiteral("S"));
    const QCommandLineOption rawWindow(QStringLiteral("raw-window"),
                                       QStringLiteral("The minimal loop's window (default 10)."),
                                       QStringLiteral("S"));
    const QCommandLineOption searchWindow(
        QStringLiteral("search-window"),
        QStringLiteral("Window of the search for the largest N (default 15)."), QStringLiteral("S"));
    const QCommandLineOption fillTimeout(QStringLiteral("fill-timeout"),
                                         QStringLiteral("Time the devices get to be listed (default 15)."),
                                         QStringLiteral("S"));
    const QCommandLineOption failFast(
        QStringLiteral("fail-fast"),
        QStringLiteral("A run that already failed stops after this much of its window "
                       "(default 10)."),
        QStringLiteral("S"));
    const QCommandLineOption devices(
        QStringLiteral("devices"), QStringLiteral("Device counts, comma-separated (default 100,1000,10000)."),
        QStringLiteral("LIST"));
    const QCommandLineOption spreads(
        QStringLiteral("spreads"),
        QStringLiteral("Reply spreads in ms, comma-separated; 0 is the same instant "
                       "(default 200,0)."),
        QStringLiteral("LIST"));
    const QCommandLineOption startupRuns(
        QStringLiteral("startup-runs"), QStringLiteral("Start-up rounds (default 21)."), QStringLiteral("K"));
    const QCommandLineOption noDebug(QStringLiteral("no-debug-on"),
                                     QStringLiteral("Skip the runs with the debug output on."));
    const QCommandLineOption noSearch(QStringLiteral("no-search"),
                                      QStringLiteral("Skip the search for the largest N that holds."));
    const QCommandLineOption receiveBuffer(
        QStringLiteral("receive-buffer"),
        QStringLiteral("Set every receive buffer to what a kernel whose net.core.rmem_max is BYTES grants, "
                       "e.g. 212992 (a stock kernel's limit)."),
        QStringLiteral("BYTES"));
    const QCommandLineOption markdown(QStringLiteral("markdown"),
                                      QStringLiteral("Also write the tables to this file."),
                                      QStringLiteral("FILE"));
    // A single measurement, in a process of its own (the full run starts these itself).
    const QCommandLineOption run(QStringLiteral("run"),
                                 QStringLiteral("engine, raw, cli-list or app-startup."),
                                 QStringLiteral("WHAT"));
    const QCommandLineOption spread(QStringLiteral("spread"), QStringLiteral("For --run."),
                                    QStringLiteral("MS"));
    const QCommandLineOption lifetime(QStringLiteral("lifetime"), QStringLiteral("For --run app-startup."),
                                      QStringLiteral("MS"));
    parser.addOptions({smoke, window, rawWindow, searchWindow, fillTimeout, failFast, devices, spreads,
                       startupRuns, noDebug, noSearch, receiveBuffer, markdown, run, spread, lifetime});
    parser.process(*app);

    auto number = [&](const QCommandLineOption &option, int fallback) {
        if (!parser.isSet(option))
            return fallback;
        bool ok = false;
        const int n = parser.value(option).toInt(&ok);
        if (!ok || n < 0) {
            std::fprintf(stderr, "lanscout-bench: --%s takes a whole number\n",
                         qUtf8Printable(option.names().first()));
            std::exit(2);
        }
        return n;
    };

    auto traffic = [&](bench::TrafficOptions &o) {
        o.devices = number(devices, o.devices);
        o.spreadMs = number(spread, o.spreadMs);
        o.windowS = number(window, o.windowS);
        o.fillTimeoutS = number(fillTimeout, o.fillTimeoutS);
        o.receiveBufferCap = number(receiveBuffer, 0);
    };
    if (mode == QLatin1String("engine")) {
        EngineRunOptions o;
        traffic(o);
        o.failFastS = number(failFast, o.failFastS);
        return runEngine(o);
    }
    if (mode == QLatin1String("raw")) {
        RawRunOptions o;
        traffic(o);
        return runRaw(o);
    }
    if (mode == QLatin1String("cli-list")) {
        CliRunOptions o;
        traffic(o);
        return runCliList(o);
    }
    if (mode == QLatin1String("app-startup"))
        return runAppStartup(number(lifetime, 1500), mainNs, appNs);
    if (!mode.isEmpty()) {
        std::fprintf(stderr, "lanscout-bench: --run takes engine, raw, cli-list or app-startup\n");
        return 2;
    }

    BenchPlan plan;
    if (parser.isSet(smoke)) {
        plan.smoke = true;
        plan.devices = {100};
        plan.spreads = {200};
        plan.windowS = 5;
        plan.rawWindowS = 3;
        plan.fillTimeoutS = 10;
        plan.startupRuns = 1;
        plan.debugOn = false;
        plan.search = false;
    }
    plan.windowS = number(window, plan.windowS);
    plan.rawWindowS = number(rawWindow, plan.rawWindowS);
    plan.searchWindowS = number(searchWindow, plan.searchWindowS);
    plan.fillTimeoutS = number(fillTimeout, plan.fillTimeoutS);
    plan.failFastS = number(failFast, plan.failFastS);
    plan.startupRuns = number(startupRuns, plan.startupRuns);
    plan.debugOn = plan.debugOn && !parser.isSet(noDebug);
    plan.search = plan.search && !parser.isSet(noSearch);
    plan.markdownPath = parser.value(markdown);
    plan.receiveBufferCap = number(receiveBuffer, 0);
    for (const auto &[option, list] :
         {std::pair{&devices, &plan.devices}, std::pair{&spreads, &plan.spreads}}) {
        if (!parser.isSet(*option))
            continue;
        bool ok = false;
        *list = numberList(parser.value(*option), &ok);
        if (!ok) {
            std::fprintf(stderr, "lanscout-bench: --%s takes comma-separated whole numbers\n",
                         qUtf8Printable(option->names().first()));
            return 2;
        }
    }
    return runBenchmark(plan);
}
