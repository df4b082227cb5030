// lanscout-bench: how lanScout holds up with many devices, how fast it takes bursts in, and how fast
// it starts. Runs inside the test bed (scripts/bench.sh does); see docs/benchmarks.md.

#include "measure.h"
#include "rawloop.h"
#include "report.h"
#include "testnetwork.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSysInfo>
#include <QThread>

#include <cmath>
#include <cstdio>

namespace {

using namespace bench;

void progress(const QString &text)
{
    std::fprintf(stderr, "%s\n", qUtf8Printable(text));
}

QString firstLineOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readLine()).trimmed() : QString();
}

QString machine()
{
    QString memory;
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly))
        memory = QString::number(QString::fromLatin1(meminfo.readLine())
                                         .split(QLatin1Char(' '), Qt::SkipEmptyParts)
                                         .value(1)
                                         .toDouble() /
                                     1024 / 1024,
                                 'f', 1);
    QString cpu;
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        for (QByteArray line; !(line = cpuinfo.readLine()).isEmpty() && cpu.isEmpty();) {
            if (line.startsWith("model name"))
                cpu = QString::fromLatin1(line.mid(line.indexOf(':') + 1)).trimmed();
        }
    }
    return QStringLiteral("%1 cores (%2), %3 GiB, %4, kernel %5; net.core.rmem_max %6")
        .arg(QThread::idealThreadCount())
        .arg(cpu.isEmpty() ? QStringLiteral("CPU unknown") : cpu, memory, QSysInfo::prettyProductName(),
             QSysInfo::kernelVersion(), firstLineOf(QStringLiteral("/proc/sys/net/core/rmem_max")));
}

QList<int> numbers(const QString &text, bool *ok)
{
    QList<int> list;
    *ok = !text.isEmpty();
    for (const QString &word : text.split(QLatin1Char(','))) {
        bool wordOk = false;
        list << word.toInt(&wordOk);
        *ok = *ok && wordOk && list.last() >= 0;
    }
    return list;
}

// 28284 -> 28000, 141 -> 140: round numbers for the search.
int roundToTwoDigits(double value)
{
    double scale = 1;
    while (value / scale >= 100)
        scale *= 10;
    return int(std::round(value / scale) * scale);
}

class Benchmark
{
public:
    QList<int> devices{100, 1000, 10000, 50000};
    QList<int> spreads{200, 0};
    bool debugOn = true, search = true, flapping = true, smoke = false;
    int startupRuns = 21, rawWindowS = 25;
    Results r;

    Figures program(const Traffic &t, int windowS, bool searchRun = false)
    {
        progress(QStringLiteral("lanScout, %1 devices, %2 ms spread, debug output %3, %4 s window ...")
                     .arg(t.devices)
                     .arg(t.spreadMs)
                     .arg(t.debug ? QStringLiteral("on") : QStringLiteral("off"))
                     .arg(windowS));
        RunPlan plan = r.plan;
        plan.windowS = windowS;
        Figures f = measureProgram(t, plan);
        f.search = searchRun;
        if (!f.error.isEmpty())
            r.failures << QStringLiteral("lanScout, %1 devices: %2").arg(t.devices).arg(f.error);
        progress(QStringLiteral("  %1, %2 removals, burst intake median %3/s, GUI lag p99 %4 ms")
                     .arg(f.holds() ? QStringLiteral("holds") : QStringLiteral("does not hold"))
                     .arg(f.spurious)
                     .arg(f.intakeMedian(), 0, 'f', 0)
                     .arg(f.lagP99Ms));
        r.program << f;
        return f;
    }

    void minimalLoop(const Traffic &t)
    {
        progress(QStringLiteral("minimal loop, %1 devices, %2 ms spread ...").arg(t.devices).arg(t.spreadMs));
        RunPlan plan = r.plan;
        plan.windowS = rawWindowS;
        const Figures f = measureMinimalLoop(t, plan);
        if (!f.error.isEmpty())
            r.failures << QStringLiteral("minimal loop, %1 devices: %2").arg(t.devices).arg(f.error);
        r.minimal << f;
    }

    void cliList(int n, int spread)
    {
        progress(QStringLiteral("lanscout-cli list, %1 devices, %2 ms spread ...").arg(n).arg(spread));
        const CliFigures f = measureCliList(n, spread, 3);
        if (!f.error.isEmpty())
            r.failures << QStringLiteral("lanscout-cli list, %1 devices: %2").arg(n).arg(f.error);
        r.cli << f;
    }

    // Doubles N from the largest that held until a run fails (or the simulator's limit), then
    // narrows the gap geometrically, three steps at most: good to a factor of about 1.5.
    void largestHolding(bool debug, int spread)
    {
        int lo = 0, hi = 0;
        for (const Figures &f : qAsConst(r.program)) {
            if (f.traffic.debug != debug || f.traffic.spreadMs != spread)
                continue;
            if (f.holds())
                lo = std::max(lo, f.traffic.devices);
            else if (!hi || f.traffic.devices < hi)
                hi = f.traffic.devices;
        }
        if (!lo)
            return;
        auto probe = [&](int n) { return program({n, spread, debug}, r.searchWindowS, true).holds(); };
        while (!hi || hi <= lo) {
            const int next = std::min(lo * 2, 100000);
            if (next <= lo)
                break; // the simulator's limit held
            (probe(next) ? lo : hi) = next;
        }
        for (int step = 0; step < 3 && hi > lo && double(hi) / lo > 1.5; ++step) {
            const int mid = roundToTwoDigits(std::sqrt(double(lo) * hi));
            if (mid <= lo || mid >= hi)
                break;
            (probe(mid) ? lo : hi) = mid;
        }
        r.largest.insert({debug, spread}, {lo, hi > lo ? hi : 0});
    }

    int run()
    {
        r.started = QDateTime::currentDateTime().toString(Qt::ISODate);
        r.loadAtStart = firstLineOf(QStringLiteral("/proc/loadavg")).section(QLatin1Char(' '), 0, 2);
        r.machine = machine();
        r.buildType = QStringLiteral(LANSCOUT_BUILD_TYPE);
        if (startupRuns > 0) {
            progress(QStringLiteral("start-up, %1 rounds ...").arg(startupRuns));
            r.startup = measureStartup(startupRuns);
            r.startupRun = true;
            r.failures << r.startup.errors;
        }
        for (const int spread : qAsConst(spreads))
            cliList(devices.contains(10000) ? 10000 : devices.last(), spread);
        for (const bool debug : {false, true}) {
            if (debug && !debugOn)
                continue;
            for (const int n : qAsConst(devices)) {
                for (const int spread : qAsConst(spreads)) {
                    program({n, spread, debug}, r.plan.windowS);
                    if (!debug)
                        minimalLoop({n, spread, false});
                }
            }
        }
        if (search) {
            for (const bool debug : {false, true}) {
                for (const int spread : qAsConst(spreads)) {
                    if (!debug || debugOn)
                        largestHolding(debug, spread);
                }
            }
        }
        if (flapping) {
            for (const bool debug : {false, true}) {
                progress(QStringLiteral("one identity flapping at 20,000/s, debug output %1 ...")
                             .arg(debug ? QStringLiteral("on") : QStringLiteral("off")));
                r.flapping << measureFlapping(debug, 1000, 20000, 10);
            }
        }
        r.finished = QDateTime::currentDateTime().toString(Qt::ISODate);
        r.loadAtEnd = firstLineOf(QStringLiteral("/proc/loadavg")).section(QLatin1Char(' '), 0, 2);
        return 0;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures lanScout against the device simulator inside the test bed and prints a results table."));
    parser.addHelpOption();
    // Each option: its name, what it does and, unless a switch, the name of its value.
    const auto option = [&parser](const char *name, const char *description, const char *value = "") {
        const QCommandLineOption o{QLatin1String(name), QLatin1String(description), QLatin1String(value)};
        parser.addOption(o);
        return o;
    };
    const QCommandLineOption smoke = option("smoke", "A quick run that checks only that the pipeline works.");
    const QCommandLineOption window = option("window", "Measuring window (default 60).", "S");
    const QCommandLineOption rawWindow = option("raw-window", "The minimal loop's window (default 25).", "S");
    const QCommandLineOption searchWindow =
        option("search-window", "Window of the search for the largest N (default 15).", "S");
    const QCommandLineOption fillTimeout =
        option("fill-timeout", "Time the devices get to be listed (default 15).", "S");
    const QCommandLineOption devices =
        option("devices", "Device counts, comma-separated (default 100,1000,10000,50000).", "LIST");
    const QCommandLineOption spreads = option(
        "spreads", "Reply spreads in ms, comma-separated; 0 is the same instant (default 200,0).", "LIST");
    const QCommandLineOption startupRuns =
        option("startup-runs", "Start-up rounds (default 21; 0: none).", "K");
    const QCommandLineOption noDebug = option("no-debug-on", "Skip the runs with debug output.");
    const QCommandLineOption noSearch = option("no-search", "Skip the search for the largest N that holds.");
    const QCommandLineOption noFlapping =
        option("no-flapping", "Skip the identity flapping between two addresses.");
    const QCommandLineOption receiveBuffer =
        option("receive-buffer",
               "Give every receive buffer what a kernel whose net.core.rmem_max is BYTES grants, e.g. "
               "212992 (a stock kernel's limit).",
               "BYTES");
    const QCommandLineOption markdown = option("markdown", "Also write the tables to FILE.", "FILE");
    const QCommandLineOption soakOption =
        option("soak",
               "Only the soak: M minutes of churn among the devices (5 % leave, 5 % come back or new, "
               "1 % renumbered, 1 % change another field, per minute), lanScout's window, then "
               "lanscout-cli watch; memory, descriptors and the list against the truth once a minute.",
               "M");
    const QCommandLineOption soakDevices =
        option("soak-devices", "Devices of the soak (default 10000).", "N");
    const QCommandLineOption soakProgram =
        option("soak-program",
               "Soak only this program: lanScout or watch (default both, one after the other).", "NAME");
    const QCommandLineOption minimalLoop =
        option("run-minimal-loop", "Internal: the minimal loop for S seconds.", "S");
    parser.process(app);

    bool ok = true;
    auto number = [&](const QCommandLineOption &option, int fallback) {
        if (!parser.isSet(option))
            return fallback;
        bool good = false;
        const int n = parser.value(option).toInt(&good);
        ok = ok && good && n >= 0;
        return n;
    };
    if (parser.isSet(minimalLoop))
        return runRawLoop(number(minimalLoop, 10), number(receiveBuffer, 0));

    QString why;
    if (!testnet::insideTestNetwork(&why)) {
        progress(QStringLiteral("lanscout-bench: refusing to run outside the test network: ") + why);
        return 3;
    }
    Benchmark b;
    if (parser.isSet(smoke)) {
        b.smoke = true;
        b.devices = {100};
        b.spreads = {200};
        b.r.plan.windowS = 5;
        b.rawWindowS = 3;
        b.startupRuns = 1;
        b.debugOn = b.search = b.flapping = false;
    }
    b.r.plan.windowS = number(window, b.r.plan.windowS);
    b.rawWindowS = number(rawWindow, b.rawWindowS);
    b.r.searchWindowS = number(searchWindow, b.r.searchWindowS);
    b.r.plan.fillTimeoutS = number(fillTimeout, b.r.plan.fillTimeoutS);
    b.r.plan.receiveBufferCap = number(receiveBuffer, 0);
    b.startupRuns = number(startupRuns, b.startupRuns);
    b.debugOn = b.debugOn && !parser.isSet(noDebug);
    b.search = b.search && !parser.isSet(noSearch);
    b.flapping = b.flapping && !parser.isSet(noFlapping);
    if (parser.isSet(devices))
        b.devices = numbers(parser.value(devices), &ok);
    if (parser.isSet(spreads))
        b.spreads = numbers(parser.value(spreads), &ok);
    if (!ok) {
        progress(QStringLiteral("lanscout-bench: options take whole numbers (see --help)"));
        return 2;
    }

    const auto writeOut = [&](const QString &text) {
        std::fputs(qUtf8Printable(text), stdout);
        if (!parser.isSet(markdown))
            return;
        QFile file(parser.value(markdown));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
            progress(QStringLiteral("lanscout-bench: cannot write ") + parser.value(markdown));
    };
    // The soak's runs, one for each program; a failure is one that could not be made.
    const auto runSoak = [&](const SoakPlan &plan, QString *text) {
        const QString started = QDateTime::currentDateTime().toString(Qt::ISODate);
        QVector<SoakFigures> runs;
        const QString only = parser.value(soakProgram);
        for (const bool watch : {false, true}) {
            if (!only.isEmpty() && (only == QLatin1String("watch")) != watch)
                continue;
            progress(QStringLiteral("soak, %1, %2 devices, %3 s ...")
                         .arg(watch ? QStringLiteral("lanscout-cli watch") : QStringLiteral("lanScout"))
                         .arg(plan.devices)
                         .arg(plan.seconds));
            runs << soak(plan, watch);
            if (!runs.last().error.isEmpty())
                progress(QStringLiteral("  failed: ") + runs.last().error);
        }
        *text = soakReport(runs, machine() + QStringLiteral(", build ") + QStringLiteral(LANSCOUT_BUILD_TYPE),
                           QStringLiteral("Started %1, finished %2")
                               .arg(started, QDateTime::currentDateTime().toString(Qt::ISODate)));
        bool broken = false;
        for (const SoakFigures &f : runs)
            broken = broken || !f.error.isEmpty() || f.samples.empty();
        return !broken;
    };
    if (parser.isSet(soakOption)) {
        SoakPlan plan;
        plan.seconds = number(soakOption, 60) * 60;
        plan.devices = number(soakDevices, plan.devices);
        const QString only = parser.value(soakProgram);
        if (!ok || plan.seconds <= 0 || plan.devices <= 0 || plan.devices > 100000 ||
            !(only.isEmpty() || only == QLatin1String("lanScout") || only == QLatin1String("watch"))) {
            progress(QStringLiteral("lanscout-bench: --soak takes minutes, --soak-devices 1 to 100000, "
                                    "--soak-program lanScout or watch"));
            return 2;
        }
        QString text;
        const bool made = runSoak(plan, &text);
        writeOut(text);
        return made ? 0 : 1;
    }

    b.run();
    QString text = report(b.r);
    bool soakMade = true;
    if (b.smoke) {
        // A short soak: 200 devices, 15 s, churn six times as fast, so that each kind happens.
        SoakPlan plan;
        plan.seconds = plan.sampleS = 15;
        plan.devices = 200;
        plan.leave = 30, plan.back = plan.appear = 15, plan.renumber = plan.change = 6;
        QString soakText;
        soakMade = runSoak(plan, &soakText);
        text += soakText;
    }
    writeOut(text);
    if (b.smoke) {
        // Only plain breakage fails the smoke run; figures never do.
        bool broken = !b.r.failures.isEmpty() || !soakMade;
        for (const Figures &f : qAsConst(b.r.program))
            broken = broken || f.listedS < 0 || f.rows != f.traffic.devices;
        for (const Figures &f : qAsConst(b.r.minimal))
            broken = broken || f.acceptedPerS <= 0;
        for (const CliFigures &f : qAsConst(b.r.cli))
            broken = broken || f.listed != f.devices;
        if (broken)
            progress(QStringLiteral("smoke run: the pipeline is broken (see above)"));
        return broken ? 1 : 0;
    }
    return b.r.failures.isEmpty() ? 0 : 1;
}
