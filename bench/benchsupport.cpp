#include "benchsupport.h"

#include "benchstats.h"
#include "testnetwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

namespace bench {

double cpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

namespace {
QByteArray readProcFile(const QString &path)
{
    // /proc files report a size of 0: read until the end rather than by size.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
} // namespace

qint64 residentBytes()
{
    return vmRssBytes(readProcFile(QStringLiteral("/proc/self/status")));
}

QHash<QByteArray, qint64> udpNow()
{
    return udpCounters(readProcFile(QStringLiteral("/proc/net/snmp")));
}

qint64 backlogDropsNow()
{
    return softnetDropped(readProcFile(QStringLiteral("/proc/net/softnet_stat")));
}

int setReceiveBuffers(quint16 port, int bytes)
{
    int count = 0;
    const QStringList fds =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    for (const QString &name : fds) {
        const int fd = name.toInt();
        sockaddr_in address = {};
        socklen_t length = sizeof address;
        int type = 0;
        socklen_t typeLength = sizeof type;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
            address.sin_family != AF_INET || ntohs(address.sin_port) != port ||
            ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_DGRAM)
            continue;
        if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0)
            ++count;
    }
    return count;
}

void reportError(const QString &why)
{
    std::printf("error %s\n", qUtf8Printable(why));
    std::fflush(stdout);
}

bool requireTestNetwork()
{
    QString why;
    if (testnet::insideTestNetwork(&why))
        return true;
    reportError(QStringLiteral("refusing to open sockets outside the test network: ") + why);
    return false;
}

bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start(5);
    limit.start(timeoutMs);
    loop.exec();
    return done();
}

Devsim::Devsim(QObject *parent) : QObject(parent)
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &Devsim::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &Devsim::readErrors);
}

Devsim::~Devsim()
{
    stop();
}

bool Devsim::start(const QStringList &arguments, int lifetimeS, QString *error)
{
    const QString path = QStringLiteral(LANSCOUT_DEVSIM_PATH);
    if (!QFileInfo(path).isExecutable()) {
        *error = QStringLiteral("no simulator at %1").arg(path);
        return false;
    }
    QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (ip.isEmpty()) // root's tools are not always on the path
        ip = QStandardPaths::findExecutable(QStringLiteral("ip"),
                                            {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    QStringList args{
        QStringLiteral("netns"),      QStringLiteral("exec"),       testnet::lanNamespace(),   path,
        QStringLiteral("--no-stdin"), QStringLiteral("--lifetime"), QString::number(lifetimeS)};
    args += arguments;
    m_process.start(ip.isEmpty() ? QStringLiteral("ip") : ip, args);
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start the simulator: %1").arg(m_process.errorString());
        return false;
    }
    if (!runUntil([this] { return m_ready || m_process.state() == QProcess::NotRunning; }, 15000) ||
        !m_ready) {
        *error = QStringLiteral("the simulator did not get ready: %1").arg(QString::fromUtf8(m_errText));
        return false;
    }
    return true;
}

void Devsim::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

void Devsim::readOutput()
{
    const qint64 now = monotonicNs();
    while (m_process.canReadLine()) {
        const QByteArray line = m_process.readLine();
        const QList<QByteArray> words = line.split(' ');
        // "rx <ms> ..." and "device <ms> ...": the simulator's clock against this one.
        if (words.size() > 2 && (words[0] == "rx" || words[0] == "device"))
            m_offsetNs = std::min(m_offsetNs, now - words[1].toLongLong() * 1000000);
        if (words[0] == "rx") {
            m_rxNs.append(now);
            m_rxMs.append(words.value(1).toLongLong());
        } else if (line.startsWith("ready")) {
            m_ready = true;
        }
    }
}

void Devsim::readErrors()
{
    static const QRegularExpression failed(
        QStringLiteral("^lanscout-devsim: reply of device (\\d+) .* failed"));
    const QByteArray text = m_process.readAllStandardError();
    if (m_errText.size() < 4096)
        m_errText += text.left(4096);
    m_errBuffer += text;
    int end;
    while ((end = m_errBuffer.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_errBuffer.left(end));
        m_errBuffer.remove(0, end + 1);
        const auto match = failed.match(line);
        if (match.hasMatch()) {
            ++m_failedSends;
            m_failed.insert(match.captured(1).toInt());
        }
    }
}

} // namespace bench
