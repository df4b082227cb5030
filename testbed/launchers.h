#pragma once

// The programs of a test bed run, started from its host namespace: the simulated devices in the
// LAN namespace, the program under test (the window or the command line), and a flood of datagrams. The
// end-to-end tests, the floods and the benchmark all start them through these.

#include "devicerecord.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

#include <limits>

namespace testbed {

// The `ip` tool, which root's PATH need not hold, and the programs of this build.
QString ipTool();
QString devsimPath();
QString appPath();
QString floodPath();
QString cliPath();

// lanscout-devsim in the LAN namespace, its event lines parsed as they come. Times are ms on this
// object's clock, when the line was read, beside the simulator's own stamp.
class SimProcess : public QObject
{
    Q_OBJECT
public:
    struct Rx
    {
        qint64 simMs, seenMs;
        QString address;
        quint16 port;
        QByteArray data;
    };

    SimProcess();
    ~SimProcess() override { stop(); }

    // Starts it with a bounded lifetime and waits for "ready"; false with *error set otherwise.
    // With controlled, it takes commands on its standard input (control()).
    bool start(const QStringList &arguments, QString *error, int lifetimeS = 60, bool controlled = true);
    void stop();
    void control(const QByteArray &line); // a line for its standard input

    qint64 now() const { return m_clock.elapsed(); }
    QVector<Rx> rx;                    // every datagram it received
    QVector<DeviceRecord> devices;     // the reply each device sends now
    QVector<QList<QByteArray>> events; // every other line, split at blanks
    QVector<qint64> eventMs;           // when each of them was read
    QByteArray stderrText;             // its first few KB
    QSet<int> failedDevices;           // devices whose reply it could not send
    int failedSends = 0;

    QVector<Rx> rxOf(const QByteArray &data) const;
    QVector<QList<QByteArray>> eventsOf(const QByteArray &kind) const;
    // When it received datagram i, on the probe clock: its own stamp moved by the smallest gap
    // seen between its stamps and their arrival here.
    qint64 rxAtNs(int i) const { return rx.at(i).simMs * 1000000 + m_offsetNs; }

private:
    void readOutput();
    void readErrors();

    QProcess m_process;
    QElapsedTimer m_clock;
    QByteArray m_errLine;
    qint64 m_offsetNs = std::numeric_limits<qint64>::max();
    bool m_ready = false;
};

// lanscout-flood in the LAN namespace: a bounded burst of datagrams at the program.
class Flood
{
public:
    ~Flood();
    // options: "--kind K --count N --duration-ms MS" and the targets ("--to ADDRESS ...").
    bool start(const QString &options);
    // Waits for its end: true when it printed "sent N bytes B errors E ms T".
    bool finish(int timeoutMs);
    QString summary;

private:
    QProcess m_process;
};

// lanscout-cli in this namespace; the lines of its standard output with the time (on clock) they
// were read.
class CliProcess : public QObject
{
    Q_OBJECT
public:
    // wrapper: a command that starts it (such as setpriv, to run it without a capability).
    CliProcess(const QString &arguments, const SimProcess &clock, const QStringList &wrapper = {});
    ~CliProcess() override;
    // Waits for its end: its exit code, or -1 when it did not end cleanly within ms.
    int finish(int ms);
    void signal(int number); // a Unix signal (nothing elsewhere)
    qint64 pid() const { return m_process.processId(); }

    QVector<QPair<qint64, QByteArray>> lines;
    QByteArray out, err; // all of them, once it finished

private:
    QProcess m_process;
};

// lanScout on the offscreen platform in this namespace (or the program that LANSCOUT_APP_COMMAND
// names, such as the Windows build under a wrapper). Its standard error goes to a file, so that a
// slow reader never stalls it, and is read on a timer; its memory is sampled at the same time.
// With "lanScout.probe.debug=true" among the logging rules its probe lines are gathered.
class AppProcess : public QObject
{
    Q_OBJECT
public:
    struct Probe
    {
        qint64 ms, ns; // when it was read: this object's clock, the probe clock
        int rows, lagMaxMs, lagP99Ms;
        int waits;           // of the 50 ms timer in that second
        QVector<int> lateMs; // those that ended late, by how much
    };
    struct Round
    {
        int replies = 0;
        qint64 firstNs = 0, lastNs = 0;
    };

    // loggingRules: QT_LOGGING_RULES; empty for the program's default debug output.
    explicit AppProcess(const QString &loggingRules);
    ~AppProcess() override;

    bool start(QString *error);
    qint64 now() const { return m_clock.elapsed(); }
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }
    // SIGTERM, then waits up to waitMs: ms from the signal to the end, or -1.
    qint64 terminateAndWait(int waitMs);
    bool exitedCleanly() const
    {
        return m_process.exitStatus() == QProcess::NormalExit && !m_process.exitCode();
    }
    void poll(); // reads what it wrote since (a timer does it every 100 ms)

    int rows() const { return probes.isEmpty() ? -1 : probes.last().rows; } // -1 before the first probe
    qint64 rssKib() const;                                                  // -1 when it cannot be read
    QVector<Probe> probesSince(qint64 fromMs) const;
    qint64 peakRssKibSince(qint64 fromMs) const;
    QByteArray trace() const; // all of its standard error so far, from the file, as written
    QList<QByteArray> traceLines() const;

    qint64 rxLines = 0;
    qint64 longestLine = 0;
    QByteArray tail; // the last few KB of its standard error
    QVector<Probe> probes;
    // The probe's stamps (probe clock, ns): the start (just before it), "phase" and "shown" lines,
    // each discovery request, the replies the table took in per round, the rows removed.
    qint64 startedNs = 0, shownNs = 0;
    QHash<QString, qint64> phaseNs;
    QHash<quint32, qint64> txNs;
    QMap<quint32, Round> rounds;
    QStringList removed;
    QHash<QString, QString> listed; // mac -> address, as the table shows them (added, address, removed)

private:
    QString m_rules;
    QTemporaryDir m_dir;
    QProcess m_process;
    QFile m_stderr;
    QByteArray m_partial;
    QTimer m_poller;
    QElapsedTimer m_clock;
    QVector<QPair<qint64, qint64>> m_rss; // (ms, KiB)
};

} // namespace testbed
