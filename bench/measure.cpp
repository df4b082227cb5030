#include "measure.h"

#include "launchers.h"
#include "protocol.h"
#include "testnetwork.h"
#include "udplogging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTest>

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <tuple>
#include <unistd.h>

namespace bench {

namespace {

QByteArray readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 socketDropsNow()
{
    return udpCounters(readText(QStringLiteral("/proc/net/snmp"))).value("InErrors");
}

qint64 backlogDropsNow()
{
    return softnetDropped(readText(QStringLiteral("/proc/net/softnet_stat")));
}

// User plus system time of a process, all its threads, in seconds; -1 when it cannot be read.
double cpuSecondsOf(qint64 pid)
{
    const QByteArray stat = readText(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' '); // after "(name)"
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// The receive buffer the kernel granted the socket on address:8888 ("rb" of `ss -m`).
qint64 receiveBufferOf(const QString &address)
{
    QProcess ss;
    ss.start(QStringLiteral("ss"),
             {QStringLiteral("-uamnH"), QStringLiteral("sport = :%1").arg(protocol::HostPort)});
    if (!ss.waitForFinished(5000))
        return -1;
    static const QRegularExpression rb(QStringLiteral("\\brb(\\d+)"));
    const QStringList lines = QString::fromLatin1(ss.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines[i].contains(address + QLatin1Char(':')))
            continue;
        // ss puts the socket memory on the line after the address.
        for (int k = i; k < std::min(int(lines.size()), i + 2); ++k) {
            const auto match = rb.match(lines[k]);
            if (match.hasMatch())
                return match.captured(1).toLongLong();
        }
    }
    return -1;
}

// Gives every UDP socket of the process bound to the program's port the receive buffer a kernel
// whose net.core.rmem_max is bytes would grant its request: the limit is the whole machine's,
// so the sockets are set from outside, through duplicates of their descriptors.
int capReceiveBuffers(qint64 pid, int bytes)
{
    const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0)
        return 0;
    int capped = 0;
    const QStringList fds =
        QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : fds) {
        const int fd = int(syscall(SYS_pidfd_getfd, pidfd, name.toInt(), 0));
        if (fd < 0)
            continue;
        sockaddr_in address = {};
        socklen_t length = sizeof address;
        int type = 0;
        socklen_t typeLength = sizeof type;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0 &&
            address.sin_family == AF_INET && ntohs(address.sin_port) == protocol::HostPort &&
            ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) == 0 && type == SOCK_DGRAM &&
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0)
            ++capped;
        ::close(fd);
    }
    ::close(pidfd);
    return capped;
}

QStringList simArguments(const Traffic &t)
{
    return {QStringLiteral("--devices"), QString::number(t.devices), QStringLiteral("--spread"),
            QString::number(t.spreadMs)};
}

// When each discovery request reached the simulator, on the probe clock.
QVector<qint64> requestsAtSim(const testbed::SimProcess &sim)
{
    QVector<qint64> stamps;
    for (int i = 0; i < sim.rx.size(); ++i) {
        if (protocol::isDiscoveryRequest(sim.rx[i].data))
            stamps.append(sim.rxAtNs(i));
    }
    return stamps;
}

Rounds roundsOf(const testbed::AppProcess &app)
{
    Rounds rounds;
    for (auto it = app.rounds.cbegin(); it != app.rounds.cend(); ++it)
        rounds.insert(it.key(), {it->replies, it->firstNs, it->lastNs});
    return rounds;
}

int repliesIn(const Rounds &rounds, const QHash<quint32, qint64> &txNs, qint64 fromNs, qint64 toNs)
{
    int replies = 0;
    for (auto it = rounds.cbegin(); it != rounds.cend(); ++it) {
        const qint64 tx = txNs.value(it.key(), -1);
        replies += tx >= fromNs && tx <= toNs ? it->replies : 0;
    }
    return replies;
}

// The first round all devices answered and the table took in, from the first request; -1 if none.
double listedSeconds(const Rounds &rounds, const QHash<quint32, qint64> &txNs, int devices)
{
    for (auto it = rounds.cbegin(); it != rounds.cend(); ++it) {
        if (it->replies >= devices && txNs.contains(1))
            return double(it->lastNs - txNs.value(1)) / 1e9;
    }
    return -1;
}

} // namespace

QString probeRules(bool debug)
{
    // The probe on; the trace and the list dump as the program has them, or all debug output off.
    return debug ? QStringLiteral("lanScout.probe.debug=true")
                 : QStringLiteral("*.debug=false;lanScout.probe.debug=true");
}

// The GUI lag over a stretch of time: the 99th percentile and the largest of every wait of the
// probe's 50 ms timer (those that were not late count as 0).
std::pair<double, double> lagOf(const testbed::AppProcess &app, qint64 fromNs, qint64 toNs)
{
    std::vector<double> waits;
    for (const auto &p : app.probes) {
        if (p.ns < fromNs || p.ns > toNs)
            continue;
        waits.insert(waits.end(), size_t(std::max(0, p.waits - int(p.lateMs.size()))), 0.0);
        waits.insert(waits.end(), p.lateMs.begin(), p.lateMs.end());
    }
    return {percentile(waits, 99), percentile(waits, 100)};
}

Figures measureProgram(const Traffic &t, const RunPlan &plan)
{
    Figures f;
    f.traffic = t;
    testbed::SimProcess sim;
    QString error;
    if (!sim.start(simArguments(t), &error, plan.fillTimeoutS + plan.windowS + 30, false)) {
        f.error = error;
        return f;
    }
    testbed::AppProcess app(probeRules(t.debug));
    if (!app.start(&error)) {
        f.error = error;
        return f;
    }
    if (plan.receiveBufferCap > 0 &&
        !QTest::qWaitFor([&] { return capReceiveBuffers(app.pid(), plan.receiveBufferCap) >= 2; }, 2000)) {
        f.error = QStringLiteral("could not cap the program's receive buffers");
        return f;
    }
    const auto listed = [&] {
        return app.rows() >= t.devices || listedSeconds(roundsOf(app), app.txNs, t.devices) >= 0;
    };
    (void)QTest::qWaitFor(listed, plan.fillTimeoutS * 1000);
    f.listedS = listedSeconds(roundsOf(app), app.txNs, t.devices);

    const int removedBefore = app.removed.size();
    auto spurious = [&] {
        int n = 0;
        for (int i = removedBefore; i < app.removed.size(); ++i) {
            const int device = simulatedDeviceOfMac(app.removed[i]);
            n += device >= 0 && !sim.failedDevices.contains(device);
        }
        return n;
    };
    const qint64 startNs = probeClockNs();
    const double cpuBefore = cpuSecondsOf(app.pid());
    const qint64 socketBefore = socketDropsNow(), backlogBefore = backlogDropsNow();
    (void)QTest::qWaitFor(
        [&] {
            const qint64 elapsedS = (probeClockNs() - startNs) / 1000000000;
            return elapsedS >= plan.failFastS && (spurious() > 0 || app.rows() < t.devices);
        },
        plan.windowS * 1000);
    const qint64 endNs = probeClockNs();
    app.poll();
    const double cpuAfter = cpuSecondsOf(app.pid());

    const Rounds rounds = roundsOf(app);
    f.windowS = double(endNs - startNs) / 1e9;
    f.spurious = spurious();
    f.rows = app.rows();
    f.missing = std::max(0, t.devices - f.rows);
    f.longestGapS = double(longestGap(requestsAtSim(sim), startNs, endNs)) / 1e9;
    f.acceptedPerS = sustainedRate(rounds, app.txNs, startNs, endNs);
    f.intakePerS = intakeRates(rounds, app.txNs, startNs, endNs, std::max(1, t.devices / 2));
    const int replies = repliesIn(rounds, app.txNs, startNs, endNs);
    f.cpuPerThousand = replies && cpuBefore >= 0 ? (cpuAfter - cpuBefore) * 1000 / replies : -1;
    std::tie(f.lagP99Ms, f.lagMaxMs) = lagOf(app, startNs, endNs);
    f.rssKib = app.rssKib();
    f.socketDrops = socketDropsNow() - socketBefore;
    f.backlogDrops = backlogDropsNow() - backlogBefore;
    f.receiveBuffer = receiveBufferOf(testnet::hostAddresses().value(0));
    f.closingMs = app.terminateAndWait(5000);
    return f;
}

Figures measureMinimalLoop(const Traffic &t, const RunPlan &plan)
{
    Figures f;
    f.traffic = t;
    f.minimalLoop = true;
    testbed::SimProcess sim;
    QString error;
    const int seconds = plan.windowS + 2;
    if (!sim.start(simArguments(t), &error, seconds + 30, false)) {
        f.error = error;
        return f;
    }
    QProcess loop;
    loop.start(QCoreApplication::applicationFilePath(),
               {QStringLiteral("--run-minimal-loop"), QString::number(seconds),
                QStringLiteral("--receive-buffer"), QString::number(plan.receiveBufferCap)});
    const qint64 socketBefore = socketDropsNow(), backlogBefore = backlogDropsNow();
    if (!loop.waitForFinished((seconds + 15) * 1000) || loop.exitCode() != 0) {
        loop.kill();
        f.error =
            QStringLiteral("the minimal loop failed: ") + QString::fromLocal8Bit(loop.readAllStandardError());
        return f;
    }
    Rounds rounds;
    QHash<quint32, qint64> txNs;
    for (const QByteArray &line : loop.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> w = line.split(' ');
        if (w[0] == "tx" && w.size() == 3)
            txNs.insert(w[1].toUInt(), w[2].toLongLong());
        else if (w[0] == "round" && w.size() == 8)
            rounds.insert(w[1].toUInt(), {w[3].toInt(), w[5].toLongLong(), w[7].toLongLong()});
        else if (w[0] == "rcvbuf" && w.size() == 2)
            f.receiveBuffer = w[1].toLongLong();
    }
    // The first round fills the table, the last one is cut off.
    const qint64 startNs = txNs.value(2), endNs = txNs.value(quint32(txNs.size())) - 1;
    f.listedS = listedSeconds(rounds, txNs, t.devices);
    f.windowS = double(endNs - startNs) / 1e9;
    f.acceptedPerS = sustainedRate(rounds, txNs, startNs, endNs);
    f.intakePerS = intakeRates(rounds, txNs, startNs, endNs, std::max(1, t.devices / 2));
    f.socketDrops = socketDropsNow() - socketBefore;
    f.backlogDrops = backlogDropsNow() - backlogBefore;
    return f;
}

FlapFigures measureFlapping(bool debug, int devices, int ratePerS, int seconds)
{
    FlapFigures f;
    f.debug = debug;
    f.devices = devices;
    f.ratePerS = ratePerS;
    f.seconds = seconds;
    testbed::SimProcess sim;
    testbed::AppProcess app(probeRules(debug));
    QString error;
    if (!sim.start(simArguments({devices, 0, debug}), &error, seconds + 60, false) || !app.start(&error) ||
        !QTest::qWaitFor([&] { return app.rows() >= devices; }, 15000)) {
        f.error = error.isEmpty() ? QStringLiteral("the devices were not listed") : error;
        return f;
    }
    testbed::Flood flood;
    if (!flood.start(QStringLiteral("--kind flapping --count %1 --duration-ms %2 --to %3")
                         .arg(ratePerS * seconds)
                         .arg(seconds * 1000)
                         .arg(testnet::hostAddresses().value(0)))) {
        f.error = QStringLiteral("cannot start the flood tool");
        return f;
    }
    const qint64 startNs = probeClockNs();
    for (int s = 0; s <= seconds + 5; ++s) {
        QTest::qWait(1000);
        f.rssKibEachSecond.push_back(app.rssKib());
    }
    if (!flood.finish(5000))
        f.error = QStringLiteral("the flood tool: ") + flood.summary;
    f.lagP99Ms = lagOf(app, startNs, probeClockNs()).first;
    app.terminateAndWait(5000);
    return f;
}

StartupFigures measureStartup(int rounds)
{
    StartupFigures f;
    testbed::SimProcess sim;
    QString error;
    if (!sim.start({QStringLiteral("--devices"), QStringLiteral("3")}, &error, 30 + 10 * rounds, false)) {
        f.errors << error;
        return f;
    }
    // Round 0 only warms the file cache (when there are rounds enough to spare one).
    for (int i = rounds > 1 ? 0 : 1; i <= rounds; ++i) {
        QProcess minimal;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen")); // as the program
        minimal.setProcessEnvironment(env);
        const qint64 minimalStart = probeClockNs();
        minimal.start(QStringLiteral(LANSCOUT_MINWINDOW_PATH), QStringList());
        minimal.waitForFinished(10000);
        qint64 shown = 0;
        for (const QByteArray &line : minimal.readAllStandardOutput().split('\n')) {
            if (line.startsWith("shown "))
                shown = line.mid(6).toLongLong();
        }

        testbed::AppProcess app(probeRules(false));
        const int requestsBefore = requestsAtSim(sim).size();
        if (!app.start(&error)) {
            f.errors << error;
            continue;
        }
        (void)QTest::qWaitFor(
            [&] {
                app.poll();
                return app.shownNs && requestsAtSim(sim).size() > requestsBefore;
            },
            10000);
        app.terminateAndWait(5000);
        if (i == 0)
            continue;
        if (!shown || !app.shownNs || requestsAtSim(sim).size() <= requestsBefore) {
            f.errors << QStringLiteral("round %1: no window shown or no request sent").arg(i);
            continue;
        }
        f.minimalShownMs.push_back(double(shown - minimalStart) / 1e6);
        f.programShownMs.push_back(double(app.shownNs - app.startedNs) / 1e6);
        f.programWireMs.push_back(double(requestsAtSim(sim).value(requestsBefore) - app.startedNs) / 1e6);
        for (auto it = app.phaseNs.cbegin(); it != app.phaseNs.cend(); ++it)
            f.programPhaseMs[it.key()].push_back(double(it.value() - app.startedNs) / 1e6);
    }
    return f;
}

} // namespace bench
