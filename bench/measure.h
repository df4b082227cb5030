#pragma once

#include "benchstats.h"

#include <utility>

#include <QString>
#include <QStringList>

#include <vector>

namespace testbed {
class AppProcess;
}

// The measurements, each against the simulator in the test bed: the program itself (lanScout,
// read through its probe lines), the minimal loop for the same traffic, the command line, and
// start-up.
namespace bench {

struct Traffic
{
    int devices = 100;
    int spreadMs = 200; // the replies to one request spread over this; 0: the same instant
    bool debug = false; // the program's debug output (its trace and list dump) on
};

struct RunPlan
{
    int windowS = 60;         // the measuring window, after all devices are listed
    int fillTimeoutS = 15;    // how long they get to be listed before the window starts anyway
    int failFastS = 10;       // a run that has failed stops after this much of its window
    int receiveBufferCap = 0; // > 0: the sockets get what a kernel with this net.core.rmem_max grants
};

// What one run shows. For the minimal loop only the traffic, the rounds and the drops are known.
struct Figures
{
    Traffic traffic;
    bool minimalLoop = false;
    bool search = false; // a run of the search for the largest N
    QString error;       // not empty: the run could not be made
    double listedS = -1; // all devices listed, from the first request; -1: never
    int spurious = 0;    // rows removed of devices the simulator answered for
    int missing = 0;     // devices not listed at the end
    double windowS = 0;
    double longestGapS = 0; // without a request reaching the simulator
    double acceptedPerS = 0;
    std::vector<double> intakePerS;      // each whole round's
    double cpuPerThousand = -1;          // CPU seconds per 1,000 replies taken in
    double lagP99Ms = -1, lagMaxMs = -1; // GUI lag over the window: 99th percentile, largest
    qint64 rssKib = -1;
    int rows = 0; // at the end
    qint64 socketDrops = 0, backlogDrops = 0;
    qint64 receiveBuffer = -1; // bytes the kernel granted the (first) socket
    qint64 closingMs = -1;     // SIGTERM to the end; -1: not within 5 s

    // Listed within the fill time, nothing removed or missing, a request at least every 1.5 s.
    bool holds() const
    {
        return error.isEmpty() && listedS >= 0 && spurious == 0 && missing == 0 && longestGapS <= 1.5;
    }
    double intakeMedian() const { return percentile(intakePerS, 50); }
};

Figures measureProgram(const Traffic &traffic, const RunPlan &plan);
Figures measureMinimalLoop(const Traffic &traffic, const RunPlan &plan);

// One identity flapping between two addresses at the given rate while the program lists devices.
struct FlapFigures
{
    QString error;
    bool debug = false;
    int devices = 0, ratePerS = 0, seconds = 0;
    std::vector<qint64> rssKibEachSecond; // from the start of the flood, and some seconds after
    double lagP99Ms = -1;                 // over the flood and after
};
FlapFigures measureFlapping(bool debug, int devices, int ratePerS, int seconds);

// lanscout-cli list --wait S --format json, a process of its own: how long after the wait it ends,
// how many devices its JSON holds, its peak resident memory.
struct CliFigures
{
    QString error;
    int devices = 0, spreadMs = 0, waitS = 3;
    int listed = -1;
    double elapsedS = -1; // process start to its end
    qint64 peakKib = -1;
    bool holds() const { return error.isEmpty() && listed == devices && elapsedS <= waitS + 1; }
};
CliFigures measureCliList(int devices, int spreadMs, int waitS);

struct StartupFigures
{
    std::vector<double> minimalShownMs; // process start to the window shown
    std::vector<double> programShownMs;
    std::vector<double> programWireMs;                 // process start to the first request at the simulator
    QMap<QString, std::vector<double>> programPhaseMs; // from process start
    QStringList errors;
};
StartupFigures measureStartup(int rounds);

// An hour (or minutes) of churn among many devices, against lanScout's window (read through its
// probe) or lanscout-cli watch --format jsonl: once a minute resident memory, open descriptors
// and the program's list against the simulator's truth.
struct SoakPlan
{
    int seconds = 3600;
    int devices = 10000;
    // Per cent of the devices per minute: leave, come back, appear, renumbered, another field.
    double leave = 5, back = 2.5, appear = 2.5, renumber = 1, change = 1;
    int sampleS = 60;
};
struct SoakSample
{
    double minute = 0;
    qint64 rssKib = -1;
    int fds = -1;
    int listed = 0, answering = 0;
    int missing = 0;      // answering for 3 s or more, not listed
    int kept = 0;         // gone for 7 s or more (past the removal pass), still listed
    int wrongAddress = 0; // listed with another address than it has had for 3 s or more
};
struct SoakFigures
{
    QString program; // "lanScout" or "lanscout-cli watch"
    QString error;
    SoakPlan plan;
    std::vector<SoakSample> samples;
    int churnEvents = 0;
    int spuriousRemovals = 0; // devices removed after answering for 3.5 s or more
    double lagP99Ms = -1, lagMaxMs = -1;
    bool watch = false;
    WatchCheck check; // watch only
};
SoakFigures soak(const SoakPlan &plan, bool watch);
QString soakReport(const QVector<SoakFigures> &runs, const QString &machine, const QString &when);

// Shared by the measurements: the logging rules of a measured run (the probe on, debug output on
// or off), and the GUI lag between two probe-clock times (99th percentile, largest; ms).
QString probeRules(bool debug);
std::pair<double, double> lagOf(const testbed::AppProcess &app, qint64 fromNs, qint64 toNs);

} // namespace bench
