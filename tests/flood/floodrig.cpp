#include "floodrig.h"

#include "testnetwork.h"

#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

namespace {

constexpr int PollMs = 100;
constexpr int TailBytes = 4096;

QString ipTool()
{
    QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (ip.isEmpty()) // root's tools, not always on the path
        ip = QStandardPaths::findExecutable(QStringLiteral("ip"),
                                            {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return ip.isEmpty() ? QStringLiteral("ip") : ip;
}

} // namespace

AppProcess::AppProcess(bool debugOutput) : m_debugOutput(debugOutput)
{
    m_clock.start();
    m_poller.setInterval(PollMs);
    connect(&m_poller, &QTimer::timeout, this, &AppProcess::poll);
}

AppProcess::~AppProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool AppProcess::start(QString *error)
{
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString errPath = m_dir.filePath(QStringLiteral("stderr.txt"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN")); // "category: message", as by default
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"),
               m_debugOutput ? QStringLiteral("lanScout.probe.debug=true")
                             : QStringLiteral("*.debug=false;lanScout.probe.debug=true"));
    m_process.setProcessEnvironment(env);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(errPath);
    m_process.start(QStringLiteral(LANSCOUT_APP_PATH), QStringList());
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start lanScout: %1").arg(m_process.errorString());
        return false;
    }
    m_stderr.setFileName(errPath);
    if (!QTest::qWaitFor([this] { return m_stderr.open(QIODevice::ReadOnly); }, 2000)) {
        *error = QStringLiteral("cannot read %1").arg(errPath);
        return false;
    }
    m_poller.start();
    poll();
    return true;
}

qint64 AppProcess::terminateAndWait(int waitMs)
{
    QElapsedTimer clock;
    clock.start();
    m_process.terminate();
    const bool ended = m_process.waitForFinished(waitMs);
    const qint64 ms = clock.elapsed();
    m_poller.stop();
    poll();
    return ended ? ms : -1;
}

qint64 AppProcess::rssKib() const
{
    if (m_process.state() != QProcess::Running)
        return -1;
    QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QVector<AppProcess::Probe> AppProcess::probesSince(qint64 fromMs) const
{
    QVector<Probe> result;
    std::copy_if(probes.begin(), probes.end(), std::back_inserter(result),
                 [fromMs](const Probe &p) { return p.ms >= fromMs; });
    return result;
}

qint64 AppProcess::peakRssKibSince(qint64 fromMs) const
{
    qint64 peak = -1;
    for (const Rss &r : rss) {
        if (r.ms >= fromMs)
            peak = std::max(peak, r.kib);
    }
    return peak;
}

void AppProcess::poll()
{
    if (const qint64 kib = rssKib(); kib > 0)
        rss.append({now(), kib});
    if (!m_stderr.isOpen())
        return;
    const QByteArray fresh = m_stderr.readAll();
    if (fresh.isEmpty())
        return;
    m_tail = (m_tail + fresh).right(TailBytes);
    m_partial += fresh;
    int from = 0;
    for (int nl; (nl = m_partial.indexOf('\n', from)) >= 0; from = nl + 1)
        parseLine(QByteArray::fromRawData(m_partial.constData() + from, nl - from));
    m_partial.remove(0, from);
}

void AppProcess::parseLine(const QByteArray &line)
{
    m_longestLine = std::max<qint64>(m_longestLine, line.size());
    if (line.startsWith("lanScout.probe: rows ")) {
        // "lanScout.probe: rows N lag-max M ms lag-p99 P ms"
        const QList<QByteArray> w = line.split(' ');
        if (w.size() >= 8)
            probes.append({now(), w[2].toInt(), w[4].toInt(), w[7].toInt()});
        return;
    }
    if (line.startsWith("lanScout.udp: rx: ")) {
        ++m_rxLines;
        return;
    }
    // The list dump: a head line, then per entry "ip  i +++", seven fields and cnt. The
    // probe's lines may come between them (another thread), nothing else does.
    if (line == "printIpList------------------------------------------------") {
        if (m_inDump)
            m_lastDump = m_currentDump;
        m_currentDump.clear();
        m_inDump = true;
    } else if (m_inDump && line.startsWith("mac:  \"")) {
        m_currentDump.append(QString::fromUtf8(line.mid(7, line.size() - 8)));
    } else if (m_inDump &&
               !(line.startsWith("ip  ") || line.startsWith("version:  ") || line.startsWith("ipways:  ") ||
                 line.startsWith("ipaddr:  ") || line.startsWith("mask:  ") ||
                 line.startsWith("gateway:  ") || line.startsWith("cnt:  "))) {
        m_lastDump = m_currentDump;
        m_inDump = false;
    }
}

FloodProcess::~FloodProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool FloodProcess::start(const QString &kind, int count, int durationMs, QString *error,
                         const QStringList &extra)
{
    const QString path = QStringLiteral(LANSCOUT_FLOOD_PATH);
    if (!QFileInfo(path).isExecutable()) {
        *error = QStringLiteral("no flood program at %1").arg(path);
        return false;
    }
    QStringList args{QStringLiteral("netns"),         QStringLiteral("exec"),
                     testnet::lanNamespace(),         path,
                     QStringLiteral("--kind"),        kind,
                     QStringLiteral("--count"),       QString::number(count),
                     QStringLiteral("--duration-ms"), QString::number(durationMs)};
    if (extra.isEmpty()) {
        for (const char *to : {"198.18.0.1", "198.18.0.255", "255.255.255.255"})
            args << QStringLiteral("--to") << QLatin1String(to);
    }
    args += extra;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(ipTool(), args);
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start the flood: %1").arg(m_process.errorString());
        return false;
    }
    return true;
}

QString FloodProcess::finish(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs))
        return QString(); // still sending: not what the test asked for
    return QString::fromUtf8(m_process.readAll()).trimmed();
}

qint64 udpDrops(quint16 port)
{
    QFile udp(QStringLiteral("/proc/net/udp"));
    if (!udp.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray portHex = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    qint64 drops = 0;
    const QList<QByteArray> lines = udp.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> w = line.simplified().split(' ');
        // sl local rem st tx:rx tr:when retr uid timeout inode ref pointer drops
        if (w.size() >= 13 && w[1].endsWith(portHex))
            drops += w.last().toLongLong();
    }
    return drops;
}
