#include "simprocess.h"

#include "protocol.h"
#include "testnetwork.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

SimProcess::SimProcess()
{
    m_clock.start();
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SimProcess::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this,
            [this] { stderrText += m_process.readAllStandardError(); });
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QStringList &arguments, QString *error)
{
    const QString path = devsimPath();
    if (!QFileInfo(path).isExecutable()) {
        *error = QStringLiteral("no simulator at %1").arg(path);
        return false;
    }
    // Bounded even if this test dies before it can stop the simulator.
    QStringList args{QStringLiteral("netns"),      QStringLiteral("exec"), testnet::lanNamespace(), path,
                     QStringLiteral("--lifetime"), QStringLiteral("60")};
    args += arguments;
    QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (ip.isEmpty()) // root's tools, not always on the path
        ip = QStandardPaths::findExecutable(QStringLiteral("ip"),
                                            {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    m_process.start(ip.isEmpty() ? QStringLiteral("ip") : ip, args);
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
    for (const Rx &r : rx) {
        if (r.data == data)
            result.append(r);
    }
    return result;
}

QVector<QList<QByteArray>> SimProcess::eventsOf(const QByteArray &kind) const
{
    QVector<QList<QByteArray>> result;
    for (const auto &words : events) {
        if (words.value(0) == kind)
            result.append(words);
    }
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
