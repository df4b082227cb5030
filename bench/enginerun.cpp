#include "enginerun.h"

#include "benchstats.h"
#include "benchsupport.h"
#include "diagnostics.h"
#include "globals.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "mainwindow.h"
#include "protocol.h"
#include "startup.h"
#include "threadctl.h"
#include "udpserver.h"

#include <QApplication>
#include <QFont>
#include <QLocale>
#include <QLoggingCategory>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace bench;

constexpr int ShutdownLimitS = 5;

// Watches the table model from the GUI thread: every row added or refreshed is a reply that
// made it all the way into the table; every row taken out is a removal.
class ModelMeter : public QObject
{
public:
    ModelMeter(IpItemMode &model, const Devsim &sim, int devices)
        : m_model(model), m_sim(sim), m_devices(devices)
    {
        connect(&model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &, int first, int last) {
                    const qint64 now = monotonicNs();
                    for (int row = first; row <= last; ++row)
                        accept(row, now);
                    if (!listedNs && m_model.rowCount() >= m_devices)
                        listedNs = now;
                });
        connect(
            &model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles) {
                if (topLeft.column() != 0 || (!roles.isEmpty() && !roles.contains(IpItemMode::RecordRole)))
                    return;
                const qint64 now = monotonicNs();
                for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                    accept(row, now);
            });
        // A refresh that moved a device's address resets the model: still one reply.
        connect(&model, &QAbstractItemModel::modelReset, this, [this] { ++accepted; });
        connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [this](const QModelIndex &, int first, int last) {
                    for (int row = first; row <= last; ++row) {
                        ++removals;
                        const int device = simulatedDeviceOfMac(m_model.index(row, 2).data().toString());
                        // A device whose reply the simulator could not send did drop out.
                        if (!m_sim.failedDevices().contains(device))
                            ++spuriousRemovals;
                    }
                });
    }

    void resetCounts()
    {
        accepted = 0;
        removals = 0;
        spuriousRemovals = 0;
        rounds.clear();
    }

    qint64 listedNs = 0;
    qint64 accepted = 0;
    int removals = 0;
    int spuriousRemovals = 0;
    RoundMeter rounds;

private:
    void accept(int row, qint64 now)
    {
        ++accepted;
        const QVariant v = m_model.index(row, 0).data(IpItemMode::RecordRole);
        if (v.userType() == qMetaTypeId<DeviceRecord>())
            rounds.add(static_cast<const DeviceRecord *>(v.constData())->cnt, now);
    }

    IpItemMode &m_model;
    const Devsim &m_sim;
    int m_devices;
};

// A 50 ms timer on the GUI thread that notes how much later than asked each wait ended: the
// time the event loop was busy elsewhere.
class LagProbe : public QObject
{
public:
    static constexpr qint64 PeriodMs = 50;

    LagProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = monotonicNs();
            lagsMs.push_back(std::max(0.0, double(now - m_last) / 1e6 - double(PeriodMs)));
            m_last = now;
        });
    }
    void start()
    {
        m_last = monotonicNs();
        m_timer.start(int(PeriodMs));
    }
    void stop() { m_timer.stop(); }

    std::vector<double> lagsMs;

private:
    QTimer m_timer;
    qint64 m_last = 0;
};

// Round r (the engine's discovery count) began when the simulator received request r.
QHash<quint32, qint64> requestTimes(const Devsim &sim)
{
    QHash<quint32, qint64> times;
    for (int i = 0; i < sim.received(); ++i)
        times.insert(quint32(i + 1), sim.receivedAtNs(i));
    return times;
}

// The program's start-up up to the shown window, as main() does it.
void buildWindowAsTheProgramDoes(std::unique_ptr<mainWindow> &window,
                                 const std::function<void(const char *)> &stamp = {})
{
    prepareStart(_ipItemMode);
    if (stamp)
        stamp("settings");
    window = std::make_unique<mainWindow>(_ipList, _ipItemMode);
    if (stamp)
        stamp("window");
}

void printPhase(const char *name, qint64 ns)
{
    std::printf("phase %s %lld\n", name, ns);
}

} // namespace

int runEngine(const EngineRunOptions &o)
{
    if (!requireTestNetwork())
        return 3;
    std::unique_ptr<mainWindow> window;
    buildWindowAsTheProgramDoes(window);
    ShownProbe shown(*window);
    window->show();
    if (!runUntil([&] { return shown.shownNs() != 0; }, 10000)) {
        reportError(QStringLiteral("the window was not shown within 10 s"));
        return 1;
    }

    QString why;
    Devsim sim;
    const int lifetimeS = o.fillTimeoutS + o.windowS + 30;
    if (!sim.start({QStringLiteral("--devices"), QString::number(o.devices), QStringLiteral("--spread"),
                    QString::number(o.spreadMs)},
                   lifetimeS, &why)) {
        reportError(why);
        return 1;
    }
    runUntil([] { return false; }, 300); // let the window and the simulator settle

    ModelMeter meter(_ipItemMode, sim, o.devices);
    LagProbe lag;
    const qint64 rssBefore = residentBytes();
    lag.start();
    const qint64 started = monotonicNs();
    auto ctl = std::make_unique<ThreadCtl>(_ipList);
    emit ctl->server->start();
    int cappedSockets = 0;
    if (o.receiveBufferCap > 0) {
        // As a kernel with this limit would grant the engine's request: set as soon as the
        // worker has opened its sockets (an address-bound one and the broadcast listener).
        runUntil(
            [&] { return (cappedSockets = setReceiveBuffers(protocol::HostPort, o.receiveBufferCap)) >= 2; },
            2000);
    }

    runUntil([&] { return meter.listedNs != 0; }, o.fillTimeoutS * 1000);
    const bool allListed = meter.listedNs != 0;
    const int rowsAtFill = _ipItemMode.rowCount();

    // The measuring window.
    meter.resetCounts();
    const double cpuBefore = cpuSeconds();
    const auto udpBefore = udpNow();
    const qint64 backlogBefore = backlogDropsNow();
    const int requestsBefore = sim.received();
    const int failedBefore = sim.failedSends();
    const qint64 windowStart = monotonicNs();
    const qint64 failFastNs = qint64(std::min(o.failFastS, o.windowS)) * 1000000000;
    runUntil(
        [&] {
            const qint64 elapsed = monotonicNs() - windowStart;
            if (elapsed < failFastNs)
                return false;
            // Failed: a device dropped out, or the worker no longer sends a request a second.
            return meter.spuriousRemovals > 0 || _ipItemMode.rowCount() < o.devices ||
                   sim.received() - requestsBefore < 0.9 * double(elapsed) / 1e9 - 1;
        },
        o.windowS * 1000);
    const qint64 windowEnd = monotonicNs();
    const double cpuAfter = cpuSeconds();
    const auto udpAfter = udpNow();
    const qint64 backlogAfter = backlogDropsNow();
    const qint64 rssAfter = residentBytes();
    const int rowsAtEnd = _ipItemMode.rowCount();
    lag.stop();

    const double windowS = double(windowEnd - windowStart) / 1e9;
    const qint64 accepted = meter.accepted;
    const qint64 requests = sim.received() - requestsBefore;
    const qint64 offered = requests * o.devices - (sim.failedSends() - failedBefore);
    const bool debug = QLoggingCategory::defaultCategory()->isDebugEnabled();
    std::printf("result mode=engine devices=%d spread=%d debug=%d all_listed=%d listed_ms=%.0f rows_fill=%d "
                "rows_end=%d removals=%d spurious=%d window_s=%.1f accepted=%lld offered=%lld "
                "acc_per_s=%.0f intake_per_s=%.0f cpu_per_k=%.4f lag_p50=%.1f lag_p99=%.1f lag_max=%.1f "
                "rss_per_dev=%.0f udp_drops=%lld backlog_drops=%lld sim_failed=%d requests=%lld "
                "request_gap_ms=%.0f capped_sockets=%d\n",
                o.devices, o.spreadMs, debug ? 1 : 0, allListed ? 1 : 0,
                allListed ? double(meter.listedNs - started) / 1e6 : -1.0, rowsAtFill, rowsAtEnd,
                meter.removals, meter.spuriousRemovals, windowS, accepted, offered,
                meter.rounds.rounds().size() >= 3 ? meter.rounds.sustainedRate() : double(accepted) / windowS,
                meter.rounds.medianIntakeRate(requestTimes(sim), o.devices / 2),
                accepted ? (cpuAfter - cpuBefore) * 1000 / double(accepted) : -1.0,
                percentile(lag.lagsMs, 50), percentile(lag.lagsMs, 99), percentile(lag.lagsMs, 100),
                rowsAtEnd ? double(rssAfter - rssBefore) / rowsAtEnd : -1.0,
                udpAfter.value("InErrors") - udpBefore.value("InErrors"), backlogAfter - backlogBefore,
                sim.failedSends() - failedBefore, requests,
                double(longestGap(sim.receivedNs(), windowStart, windowEnd)) / 1e6, cappedSockets);
    std::fflush(stdout);

    // Closing: the event loop has ended; the worker is ended and joined, as when the window
    // closes. A worker deep in a backlog may take long: give up after a while.
    sim.stop();
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(ShutdownLimitS));
        std::printf("shutdown ms=-1\n");
        std::fflush(stdout);
        std::_Exit(0);
    }).detach();
    const qint64 closing = monotonicNs();
    ctl.reset();
    std::printf("shutdown ms=%.0f\n", double(monotonicNs() - closing) / 1e6);
    std::fflush(stdout);
    return 0;
}

int runAppStartup(int lifetimeMs, qint64 mainNs, qint64 appNs)
{
    printPhase("main", mainNs);
    printPhase("application", appNs);
    // main()'s sequence, with stamps added.
    std::unique_ptr<mainWindow> window;
    buildWindowAsTheProgramDoes(window, [](const char *name) { printPhase(name, monotonicNs()); });
    ShownProbe shown(*window, [](qint64 ns) {
        std::printf("shown %lld\n", ns);
        std::fflush(stdout);
    });
    window->show();
    printPhase("show", monotonicNs());
    closeOnTerminationSignals(*window);
    startResponsivenessProbe(_ipItemMode, *window);
    if (!requireTestNetwork())
        return 3;
    ThreadCtl threadCtl(_ipList);
    printPhase("engine", monotonicNs());
    std::fflush(stdout);
    emit threadCtl.server->start();
    QTimer::singleShot(lifetimeMs, qApp, &QCoreApplication::quit);
    return QApplication::exec();
}
