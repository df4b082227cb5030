#include "rig.h"

#include "protocol.h"
#include "testnetwork.h"
#include "udpserver.h"

#include <QFileInfo>
#include <QMutex>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

namespace logcapture {
namespace {
QMutex mutex; // guards captured and previous: the engine logs from its worker thread
QStringList captured;
QtMessageHandler previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "default");
    QtMessageHandler forward = nullptr;
    {
        QMutexLocker lock(&mutex);
        captured.append(category == QLatin1String("default") ? message
                                                             : category + QLatin1String(": ") + message);
        if (type != QtDebugMsg && type != QtInfoMsg)
            forward = previous;
    }
    if (forward)
        forward(type, context, message);
}
} // namespace

void install()
{
    QMutexLocker lock(&mutex);
    if (!previous)
        previous = qInstallMessageHandler(handler);
}

void clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}

QStringList lines()
{
    QMutexLocker lock(&mutex);
    return captured;
}
} // namespace logcapture

Engine::~Engine()
{
    ctl.reset();
    list.reset();
}

void Engine::start()
{
    ctl = std::make_unique<ThreadCtl>(*list);
    emit ctl->server->start();
}

quint32 Engine::discoveryCount() const
{
    quint32 count = 0;
    UdpServer *server = ctl->server;
    QMetaObject::invokeMethod(
        server, [server, &count] { count = server->count(); }, Qt::BlockingQueuedConnection);
    return count;
}

int Engine::rowOf(const QString &mac) const
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (cell(row, 2) == mac)
            return row;
    }
    return -1;
}

DeviceRecord Engine::device(int row) const
{
    DeviceRecord rec;
    list->getDevice(row, rec);
    return rec;
}

QVector<QVector<QPair<QString, quint32>>> deviceListDumps(const QStringList &lines)
{
    QVector<QVector<QPair<QString, quint32>>> dumps;
    QVector<QPair<QString, quint32>> current;
    bool inDump = false;
    QString mac;
    for (const QString &line : lines) {
        if (line == QLatin1String("printIpList------------------------------------------------")) {
            inDump = true;
            current.clear();
        } else if (inDump && line.startsWith(QLatin1String("lanScout.udp: rx:"))) {
            dumps.append(current); // the reply's own trace line follows its dump
            inDump = false;
        } else if (inDump && line.startsWith(QLatin1String("mac:  \""))) {
            mac = line.mid(7, line.size() - 8);
        } else if (inDump && line.startsWith(QLatin1String("cnt:  "))) {
            current.append({mac, line.mid(6).toUInt()});
        }
    }
    return dumps;
}

QString ipTool()
{
    const QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"));
    return ip.isEmpty() ? QStandardPaths::findExecutable(
                              QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                        : ip;
}

SimProcess::SimProcess()
{
    m_clock.start();
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SimProcess::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this,
            [this] { stderrText += m_process.readAllStandardError(); });
}

bool SimProcess::start(const QStringList &arguments, QString *error)
{
    // Bounded even if this test dies before it can stop the simulator.
    m_process.start(ipTool(),
                    QStringList{QStringLiteral("netns"), QStringLiteral("exec"), testnet::lanNamespace(),
                                devsimPath(), QStringLiteral("--lifetime"), QStringLiteral("60")} +
                        arguments);
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start the simulator: %1").arg(m_process.errorString());
        return false;
    }
    if (!QTest::qWaitFor([this] { return m_ready || m_process.state() == QProcess::NotRunning; }, 5000) ||
        !m_ready) {
        *error = QStringLiteral("the simulator did not get ready: %1").arg(QString::fromUtf8(stderrText));
        return false;
    }
    return true;
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

void SimProcess::control(const QByteArray &line)
{
    m_process.write(line + '\n');
    m_process.waitForBytesWritten(1000);
}

QVector<SimProcess::Rx> SimProcess::rxOf(const QByteArray &data) const
{
    QVector<Rx> result;
    std::copy_if(rx.begin(), rx.end(), std::back_inserter(result),
                 [&](const Rx &r) { return r.data == data; });
    return result;
}

QVector<QList<QByteArray>> SimProcess::eventsOf(const QByteArray &kind) const
{
    QVector<QList<QByteArray>> result;
    std::copy_if(events.begin(), events.end(), std::back_inserter(result),
                 [&](const QList<QByteArray> &words) { return words.value(0) == kind; });
    return result;
}

void SimProcess::readOutput()
{
    while (m_process.canReadLine()) {
        const QByteArray line = m_process.readLine().trimmed();
        const QList<QByteArray> words = line.split(' ');
        if (line == "ready") {
            m_ready = true;
        } else if (words.size() == 5 && words[0] == "rx") {
            rx.append({words[1].toLongLong(), now(), QString::fromLatin1(words[2]),
                       quint16(words[3].toUInt()),
                       words[4] == "-" ? QByteArray() : QByteArray::fromHex(words[4])});
        } else if (words.size() == 4 && words[0] == "device") {
            const int index = words[2].toInt();
            if (devices.size() <= index)
                devices.resize(index + 1);
            if (auto rec = protocol::parseDiscoveryReply(QByteArray::fromHex(words[3])))
                devices[index] = *rec;
        } else {
            events.append(words);
        }
    }
}

QString devsimPath()
{
    return QStringLiteral(LANSCOUT_DEVSIM_PATH);
}

Flood::~Flood()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool Flood::start(const QString &options)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(ipTool(), QStringList{QStringLiteral("netns"), QStringLiteral("exec"),
                                          testnet::lanNamespace(), floodPath()} +
                                  options.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    return m_process.waitForStarted(5000);
}

bool Flood::finish(int timeoutMs)
{
    summary = QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs)
                  ? QString::fromUtf8(m_process.readAll()).trimmed()
                  : QStringLiteral("(still running)");
    return summary.startsWith(QLatin1String("sent "));
}

QString floodPath()
{
    return QStringLiteral(LANSCOUT_FLOOD_PATH);
}

AppProcess::AppProcess(const QString &loggingRules) : m_rules(loggingRules)
{
    m_clock.start();
    m_poller.setInterval(100);
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
    const QString errPath = m_dir.filePath(QStringLiteral("stderr.txt"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN")); // "category: message", as by default
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    if (!m_rules.isEmpty())
        env.insert(QStringLiteral("QT_LOGGING_RULES"), m_rules);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process.setProcessEnvironment(env);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(errPath);
    const QString command = qEnvironmentVariable("LANSCOUT_APP_COMMAND", QStringLiteral(LANSCOUT_APP_PATH));
    m_process.start(command, QStringList());
    if (!m_dir.isValid() || !m_process.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start lanScout: %1").arg(m_process.errorString());
        return false;
    }
    m_stderr.setFileName(errPath);
    if (!QTest::qWaitFor([this] { return m_stderr.open(QIODevice::ReadOnly); }, 2000)) {
        *error = QStringLiteral("cannot read %1").arg(errPath);
        return false;
    }
    m_poller.start();
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
    QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
    if (!running() || !status.open(QIODevice::ReadOnly))
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
    for (const auto &[ms, kib] : m_rss)
        peak = ms >= fromMs ? std::max(peak, kib) : peak;
    return peak;
}

QByteArray AppProcess::trace() const
{
    QFile file(m_stderr.fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> AppProcess::traceLines() const
{
    QList<QByteArray> lines = trace().split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r')) // a Windows build ends its lines with CR LF
            line.chop(1);
    }
    return lines;
}

void AppProcess::poll()
{
    if (const qint64 kib = rssKib(); kib > 0)
        m_rss.append({now(), kib});
    const QByteArray fresh = m_stderr.readAll();
    tail = (tail + fresh).right(4096);
    m_partial += fresh;
    int from = 0;
    for (int nl; (nl = m_partial.indexOf('\n', from)) >= 0; from = nl + 1) {
        // A Windows build ends its lines with CR LF.
        const int end = nl > from && m_partial.at(nl - 1) == '\r' ? nl - 1 : nl;
        const QByteArray line = QByteArray::fromRawData(m_partial.constData() + from, end - from);
        longestLine = std::max<qint64>(longestLine, line.size());
        rxLines += line.startsWith("lanScout.udp: rx: ");
        if (line.startsWith("lanScout.probe: rows ")) {
            // "lanScout.probe: rows N lag-max M ms lag-p99 P ms"
            const QList<QByteArray> w = line.split(' ');
            if (w.size() >= 8)
                probes.append({now(), w[2].toInt(), w[4].toInt(), w[7].toInt()});
        }
    }
    m_partial.remove(0, from);
}
