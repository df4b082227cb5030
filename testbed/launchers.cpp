#include "launchers.h"

#include "protocol.h"
#include "testnetwork.h"
#include "udplogging.h"

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace testbed {

QString ipTool()
{
    const QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"));
    return ip.isEmpty() ? QStandardPaths::findExecutable(
                              QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                        : ip;
}

QString devsimPath()
{
    return QStringLiteral(LANSCOUT_DEVSIM_PATH);
}

QString appPath()
{
    return QStringLiteral(LANSCOUT_APP_PATH);
}

QString floodPath()
{
    return QStringLiteral(LANSCOUT_FLOOD_PATH);
}

QString cliPath()
{
    return QStringLiteral(LANSCOUT_CLI_PATH);
}

SimProcess::SimProcess()
{
    m_clock.start();
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SimProcess::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &SimProcess::readErrors);
}

bool SimProcess::start(const QStringList &arguments, QString *error, int lifetimeS, bool controlled)
{
    // Bounded even if whoever started it dies before it can stop the simulator.
    QStringList args{QStringLiteral("netns"),      QStringLiteral("exec"),
                     testnet::lanNamespace(),      devsimPath(),
                     QStringLiteral("--lifetime"), QString::number(lifetimeS)};
    if (!controlled)
        args << QStringLiteral("--no-stdin");
    m_process.start(ipTool(), args + arguments);
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start the simulator: %1").arg(m_process.errorString());
        return false;
    }
    if (!QTest::qWaitFor([this] { return m_ready || m_process.state() == QProcess::NotRunning; }, 15000) ||
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
    const qint64 nowNs = probeClockNs();
    while (m_process.canReadLine()) {
        const QByteArray line = m_process.readLine().trimmed();
        const QList<QByteArray> words = line.split(' ');
        if (words.size() > 2 && (words[0] == "rx" || words[0] == "device"))
            m_offsetNs = std::min(m_offsetNs, nowNs - words[1].toLongLong() * 1000000);
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
            eventMs.append(now());
        }
    }
}

void SimProcess::readErrors()
{
    static const QRegularExpression failed(
        QStringLiteral("^lanscout-devsim: reply of device (\\d+) .* failed"));
    const QByteArray text = m_process.readAllStandardError();
    if (stderrText.size() < 4096)
        stderrText += text.left(4096);
    m_errLine += text;
    for (int end; (end = m_errLine.indexOf('\n')) >= 0; m_errLine.remove(0, end + 1)) {
        const auto match = failed.match(QString::fromUtf8(m_errLine.left(end)));
        if (match.hasMatch()) {
            ++failedSends;
            failedDevices.insert(match.captured(1).toInt());
        }
    }
}

Flood::~Flood()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool Flood::start(const QString &options)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // A load generator: the suite's full stack on every allocation made a sanitized flood eight
    // times slower than its rate.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (env.contains(QStringLiteral("ASAN_OPTIONS")))
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":fast_unwind_on_malloc=1"));
    m_process.setProcessEnvironment(env);
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

CliProcess::CliProcess(const QString &arguments, const SimProcess &clock, const QStringList &wrapper)
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this, [this, &clock] {
        while (m_process.canReadLine())
            lines.append({clock.now(), m_process.readLine()});
    });
    const QStringList command =
        wrapper + QStringList{cliPath()} + arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    m_process.start(command.first(), command.mid(1));
}

CliProcess::~CliProcess()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

int CliProcess::finish(int ms)
{
    const bool ended = QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, ms);
    err = m_process.readAllStandardError();
    for (const auto &line : qAsConst(lines))
        out += line.second;
    out += m_process.readAllStandardOutput();
    return ended && m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void CliProcess::signal(int number)
{
#ifdef Q_OS_UNIX
    ::kill(pid_t(m_process.processId()), number);
#else
    Q_UNUSED(number);
#endif
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
    startedNs = probeClockNs();
    m_process.start(qEnvironmentVariable("LANSCOUT_APP_COMMAND", appPath()), QStringList());
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
        const int end = nl > from && m_partial.at(nl - 1) == '\r' ? nl - 1 : nl;
        const QByteArray line = QByteArray::fromRawData(m_partial.constData() + from, end - from);
        longestLine = std::max<qint64>(longestLine, line.size());
        rxLines += line.startsWith("lanScout.udp: rx: ");
        if (!line.startsWith("lanScout.probe: "))
            continue;
        const QList<QByteArray> w = line.mid(16).split(' ');
        if (w[0] == "rows" && w.size() >= 7) { // rows N lag-max M ms lag-p99 P ms [waits W late L,...]
            QVector<int> late;
            for (const QByteArray &ms : w.value(11).split(','))
                late += ms == "-" ? QVector<int>() : QVector<int>{ms.toInt()};
            probes.append(
                {now(), probeClockNs(), w[1].toInt(), w[3].toInt(), w[6].toInt(), w.value(9).toInt(), late});
        } else if (w[0] == "round" && w.size() == 8) { // round R replies N first NS last NS
            Round &r = rounds[w[1].toUInt()];
            const qint64 first = w[5].toLongLong();
            r.firstNs = r.replies ? std::min(r.firstNs, first) : first;
            r.lastNs = std::max(r.lastNs, w[7].toLongLong());
            r.replies += w[3].toInt();
        } else if (w[0] == "tx" && w.size() == 3) {
            txNs.insert(w[1].toUInt(), w[2].toLongLong());
        } else if (w[0] == "removed" && w.size() == 2) {
            removed.append(QString::fromLatin1(w[1]));
            listed.remove(removed.last());
        } else if ((w[0] == "added" || w[0] == "address") && w.size() == 3) {
            listed.insert(QString::fromLatin1(w[1]), QString::fromLatin1(w[2]));
        } else if (w[0] == "shown" && w.size() == 2) {
            shownNs = w[1].toLongLong();
        } else if (w[0] == "phase" && w.size() == 3) {
            phaseNs.insert(QString::fromLatin1(w[1]), w[2].toLongLong());
        }
    }
    m_partial.remove(0, from);
}

} // namespace testbed
