#pragma once

// What the end-to-end and flood tests run in the test bed: the discovery engine in this
// process, lanscout-devsim in the LAN namespace, and the whole program as a process.

#include "devicerecord.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "threadctl.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

#include <memory>

// The debug output of this process line by line as the default handler prints it ("category:
// message", no category for the default one). Warnings and worse are passed on too.
namespace logcapture {
void install();
void clear();
QStringList lines();
} // namespace logcapture

// The engine as the program runs it: worker thread, device list and model on this thread.
class Engine
{
public:
    Engine() : list(std::make_unique<IpList>(model)) {}
    ~Engine(); // ends the worker thread first

    void start();
    quint32 discoveryCount() const;      // read on the worker thread
    int rowOf(const QString &mac) const; // -1 when not listed
    QString cell(int row, int column) const { return model.index(row, column).data().toString(); }
    DeviceRecord device(int row) const;

    IpItemMode model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    std::unique_ptr<IpList> list;
    std::unique_ptr<ThreadCtl> ctl;
};

// The device list dumps in captured lines, as (mac, cnt) pairs.
QVector<QVector<QPair<QString, quint32>>> deviceListDumps(const QStringList &lines);

inline bool isTxDiscovery(const QString &line)
{
    return line == QLatin1String("lanScout.udp: tx:  \"@qxsrhip/all!\"");
}
inline bool isRxReply(const QString &line)
{
    return line.startsWith(QLatin1String("lanScout.udp: rx:  qxsrhip/"));
}
inline DeviceRecord withoutCount(DeviceRecord rec)
{
    rec.cnt = 0;
    return rec;
}

// The `ip` tool, which root's PATH need not hold.
QString ipTool();

// lanscout-devsim in the LAN namespace, its event lines parsed as they come. Times are ms on
// this object's clock, when the line was read, beside the simulator's own stamp.
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
    bool start(const QStringList &arguments, QString *error);
    void stop();
    void control(const QByteArray &line); // a line for its standard input

    qint64 now() const { return m_clock.elapsed(); }
    QVector<Rx> rx;                    // every datagram it received
    QVector<DeviceRecord> devices;     // the reply each device sends now
    QVector<QList<QByteArray>> events; // every other line, split at blanks
    QByteArray stderrText;

    QVector<Rx> rxOf(const QByteArray &data) const;
    QVector<QList<QByteArray>> eventsOf(const QByteArray &kind) const;

private:
    void readOutput();

    QProcess m_process;
    QElapsedTimer m_clock;
    bool m_ready = false;
};
QString devsimPath();

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
QString floodPath();

// lanScout on the offscreen platform in this namespace (or the program that LANSCOUT_APP_COMMAND
// names, such as the Windows build under a wrapper). Its standard error goes to a file, so
// a slow reader never stalls it, and is read on a timer; its memory is sampled at the same
// time. With "lanScout.probe.debug=true" among the logging rules it reports the rows listed and
// the GUI's lag once a second.
class AppProcess : public QObject
{
    Q_OBJECT
public:
    struct Probe
    {
        qint64 ms;
        int rows, lagMaxMs, lagP99Ms;
    };

    // loggingRules: QT_LOGGING_RULES; empty for the program's default debug output.
    explicit AppProcess(const QString &loggingRules);
    ~AppProcess() override;

    bool start(QString *error);
    qint64 now() const { return m_clock.elapsed(); }
    bool running() const { return m_process.state() == QProcess::Running; }
    // SIGTERM, then waits up to waitMs: ms from the signal to the end, or -1.
    qint64 terminateAndWait(int waitMs);
    bool exitedCleanly() const
    {
        return m_process.exitStatus() == QProcess::NormalExit && !m_process.exitCode();
    }

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

private:
    void poll();

    QString m_rules;
    QTemporaryDir m_dir;
    QProcess m_process;
    QFile m_stderr;
    QByteArray m_partial;
    QTimer m_poller;
    QElapsedTimer m_clock;
    QVector<QPair<qint64, qint64>> m_rss; // (ms, KiB)
};
