#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

// The whole program and a flood aimed at it, in the test bed. Times are ms on the rig's clock.

// lanScout on the offscreen platform with its responsiveness probe on, in this (the host)
// namespace. Its standard error goes to a file, so a slow reader never stalls it, and is read
// as it grows; its memory is sampled at the same time.
class AppProcess : public QObject
{
    Q_OBJECT
public:
    struct Probe
    {
        qint64 ms;
        int rows;
        int lagMaxMs;
        int lagP99Ms;
    };
    struct Rss
    {
        qint64 ms;
        qint64 kib;
    };

    // debugOutput: the program's default debug output (trace and list dumps) stays on.
    explicit AppProcess(bool debugOutput);
    ~AppProcess() override; // kills the program if it still runs

    bool start(QString *error);
    qint64 now() const { return m_clock.elapsed(); }
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    // SIGTERM, then waits up to waitMs. Returns the ms from the signal to the end, or -1.
    qint64 terminateAndWait(int waitMs);
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }

    // The latest probe's row count, -1 before the first.
    int rows() const { return probes.isEmpty() ? -1 : probes.last().rows; }
    qint64 rssKib() const; // now; -1 when it cannot be read
    // The probes and samples taken from fromMs on.
    QVector<Probe> probesSince(qint64 fromMs) const;
    qint64 peakRssKibSince(qint64 fromMs) const;
    // The MACs of the latest complete device list dump.
    QStringList lastDumpMacs() const { return m_lastDump; }
    qint64 rxLines() const { return m_rxLines; }
    qint64 traceBytes() const { return m_stderr.pos(); } // standard error read so far
    qint64 longestLine() const { return m_longestLine; }
    QByteArray tail() const { return m_tail; } // the last few KB of its standard error

    QVector<Probe> probes;
    QVector<Rss> rss;

    // Reads what was written since the last call and samples the memory. Runs on a timer.
    void poll();

private:
    void parseLine(const QByteArray &line);

    bool m_debugOutput;
    QTemporaryDir m_dir;
    QProcess m_process;
    QFile m_stderr;
    QByteArray m_partial;
    QByteArray m_tail;
    QTimer m_poller;
    QElapsedTimer m_clock;
    QStringList m_currentDump;
    QStringList m_lastDump;
    bool m_inDump = false;
    qint64 m_rxLines = 0;
    qint64 m_longestLine = 0;
};

// lanscout-flood in the LAN namespace of the test bed.
class FloodProcess : public QObject
{
    Q_OBJECT
public:
    ~FloodProcess() override; // kills it if it still runs

    // kind, count and duration as lanscout-flood takes them; targets default to the
    // program's unicast address, its subnet's broadcast and the limited broadcast.
    bool start(const QString &kind, int count, int durationMs, QString *error,
               const QStringList &extra = QStringList());
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    // Waits (running the event loop) for it to end; its summary line, or empty.
    QString finish(int timeoutMs);

private:
    QProcess m_process;
};

// The kernel's count of datagrams dropped on this namespace's sockets of the given port
// (/proc/net/udp), summed.
qint64 udpDrops(quint16 port);
