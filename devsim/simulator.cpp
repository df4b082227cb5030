#include "simulator.h"

#include "protocol.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace devsim;

Simulator::Simulator(const Options &options, const Subnet &subnet, QObject *parent)
    : QObject(parent), m_options(options), m_devices(subnet, options.devices),
      m_churn(options.churn, options.churnSeed, options.devices)
{
    m_clock.start();
    for (auto it = options.habits.cbegin(); it != options.habits.cend(); ++it)
        m_devices.setHabit(it.key(), it.value());
    m_replies.resize(m_devices.size());
    // One timer paces every spread-out reply: tens of thousands of devices answering each
    // second would swamp the event loop with a timer apiece.
    m_pace = new QTimer(this);
    m_pace->setTimerType(Qt::PreciseTimer);
    m_pace->setInterval(1);
    connect(m_pace, &QTimer::timeout, this, &Simulator::sendDueReplies);
}

bool Simulator::start(QString *error)
{
    // Not shared: a second simulator in the same namespace would split the requests.
    if (!m_socket.bind(QHostAddress(QHostAddress::AnyIPv4), protocol::DevicePort,
                       QAbstractSocket::DontShareAddress)) {
        *error = QStringLiteral("cannot bind 0.0.0.0:%1: %2")
                     .arg(protocol::DevicePort)
                     .arg(m_socket.errorString());
        return false;
    }
    // Qt turns broadcast on for UDP sockets already; --broadcast depends on it, so say so.
    const int on = 1;
    ::setsockopt(int(m_socket.socketDescriptor()), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    connect(&m_socket, &QUdpSocket::readyRead, this, &Simulator::readDatagrams);

    if (m_options.readControl) {
        m_stdin = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_stdin, &QSocketNotifier::activated, this, &Simulator::readControl);
    }
    for (int i = 0; i < m_devices.size(); ++i) {
        const DeviceRecord &d = m_devices.device(i);
        if (i < 20)
            note(QStringLiteral("device %1: %2 %3 %4 %5/%6")
                     .arg(i)
                     .arg(d.version, d.mac, d.ipways, d.ipaddr, d.mask));
        printDevice(i);
    }
    if (m_devices.size() > 20)
        note(QStringLiteral("... and %1 more devices").arg(m_devices.size() - 20));
    emitLine("ready\n");
    if (m_options.churn.any()) {
        m_churnTimer = new QTimer(this);
        m_churnTimer->setSingleShot(true);
        connect(m_churnTimer, &QTimer::timeout, this, &Simulator::runDueChurn);
        m_churnMinuteMs = ms();
        m_churnEvents = m_churn.nextMinute();
        runDueChurn();
    }
    return true;
}

void Simulator::runDueChurn()
{
    using devsim::ChurnEvent;
    for (;;) {
        if (m_churnNext == m_churnEvents.size()) {
            m_churnMinuteMs += 60000;
            m_churnEvents = m_churn.nextMinute();
            m_churnNext = 0;
        }
        const qint64 dueMs =
            m_churnMinuteMs + (m_churnEvents.isEmpty() ? 60000 : m_churnEvents[m_churnNext].atMs);
        if (m_churnEvents.isEmpty() || dueMs > ms()) {
            m_churnTimer->start(int(std::max<qint64>(0, dueMs - ms())));
            return;
        }
        const ChurnEvent e = m_churnEvents[m_churnNext++];
        const QByteArray head = QByteArray::number(ms()) + ' ' + QByteArray::number(e.device);
        switch (e.kind) {
        case ChurnEvent::Leave:
        case ChurnEvent::Back:
            m_devices.setSilent(e.device, e.kind == ChurnEvent::Leave);
            emitLine((e.kind == ChurnEvent::Leave ? "leave " : "back ") + head + '\n');
            break;
        case ChurnEvent::Appear:
            m_devices.add();
            m_replies.resize(m_devices.size());
            emitLine("new " + head + '\n');
            printDevice(e.device);
            break;
        case ChurnEvent::Renumber:
            emitLine("renumber " + head + ' ' + m_devices.renumber(e.device).toLatin1() + '\n');
            printDevice(e.device);
            break;
        case ChurnEvent::Change:
            emitLine("change " + head + ' ' + m_devices.changeField(e.device, e.serial).toLatin1() + '\n');
            printDevice(e.device);
            break;
        }
    }
}

void Simulator::readDatagrams()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        if (!datagram.isValid())
            continue;
        const QHostAddress sender = datagram.senderAddress();
        const quint16 port = quint16(datagram.senderPort());
        emitLine(rxLine(ms(), sender.toString(), port, datagram.data()));
        handleDatagram(datagram.data(), sender, port);
    }
}

void Simulator::handleDatagram(const QByteArray &data, const QHostAddress &sender, quint16 senderPort)
{
    if (protocol::isDiscoveryRequest(data)) {
        if (m_options.onlyFrom.isEmpty() || m_options.onlyFrom.contains(sender))
            answerDiscovery(sender, senderPort);
        return;
    }
    const auto command = protocol::parseSetIpCommand(data);
    if (!command)
        return; // not for devices of this family
    const SetIpOutcome outcome = m_devices.apply(*command);
    emitLine("setip " + QByteArray::number(ms()) + ' ' + resultName(outcome.result).toLatin1() + ' ' +
             QByteArray::number(outcome.device) + '\n');
    if (outcome.result != SetIpResult::Applied && outcome.result != SetIpResult::Misapplied) {
        note(QStringLiteral("set-IP command for %1 %2 ignored: %3")
                 .arg(command->version, command->mac, resultName(outcome.result)));
        return;
    }
    const DeviceRecord &d = m_devices.device(outcome.device);
    note(QStringLiteral("device %1 now %2 %3/%4 gateway %5")
             .arg(outcome.device)
             .arg(d.ipways, d.ipaddr, d.mask, d.gateway));
    printDevice(outcome.device);
}

void Simulator::answerDiscovery(const QHostAddress &sender, quint16 senderPort)
{
    const QHostAddress to = m_options.broadcast ? QHostAddress(QHostAddress::Broadcast) : sender;
    const quint16 port = m_options.broadcast ? protocol::HostPort : senderPort;
    Answer answer{ms(), m_devices.answering(), 0, to, port};
    if (m_options.spreadMs == 0) {
        for (const int device : qAsConst(answer.devices))
            sendReply(device, to, port);
        return;
    }
    m_answers.append(std::move(answer));
    sendDueReplies(); // the first device is due at once
    if (!m_answers.isEmpty() && !m_pace->isActive())
        m_pace->start();
}

void Simulator::sendDueReplies()
{
    const qint64 now = ms();
    for (int a = 0; a < m_answers.size();) {
        Answer &answer = m_answers[a];
        const qint64 n = answer.devices.size();
        while (answer.next < n && qint64(m_options.spreadMs) * answer.next / n <= now - answer.startMs) {
            const int device = answer.devices[answer.next++];
            // A device silenced in the meantime keeps quiet.
            if (!m_devices.isSilent(device))
                sendReply(device, answer.to, answer.port);
        }
        if (answer.next == n)
            m_answers.remove(a);
        else
            ++a;
    }
    if (m_answers.isEmpty())
        m_pace->stop();
}

void Simulator::sendReply(int device, const QHostAddress &to, quint16 port)
{
    const QByteArray &reply = m_replies.at(device);
    if (m_socket.writeDatagram(reply, to, port) != reply.size())
        note(QStringLiteral("reply of device %1 to %2:%3 failed: %4")
                 .arg(device)
                 .arg(to.toString())
                 .arg(port)
                 .arg(m_socket.errorString()));
}

void Simulator::readControl()
{
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0) {
        if (errno == EINTR || errno == EAGAIN)
            return;
        note(
            QStringLiteral("reading standard input failed: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    }
    if (n <= 0) {
        m_stdin->setEnabled(false);
        if (!m_stdinBuffer.isEmpty())
            runControl(QString::fromUtf8(m_stdinBuffer));
        note(QStringLiteral("end of standard input"));
        QCoreApplication::quit();
        return;
    }
    m_stdinBuffer.append(buffer, int(n));
    int end;
    while ((end = m_stdinBuffer.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_stdinBuffer.left(end));
        m_stdinBuffer.remove(0, end + 1);
        runControl(line);
    }
}

void Simulator::runControl(const QString &line)
{
    if (line.trimmed().isEmpty())
        return;
    const auto control = parseControl(line);
    if (!control || control->device >= m_devices.size()) {
        note(QStringLiteral("unknown command \"%1\" (silence I, wake I, ignore-setip I, drop-setip I N, "
                            "misapply-setip I ADDRESS, heed-setip I with I from 0 to %2, quit)")
                 .arg(line.trimmed())
                 .arg(m_devices.size() - 1));
        return;
    }
    switch (control->kind) {
    case Control::Quit:
        note(QStringLiteral("quit"));
        QCoreApplication::quit();
        return;
    case Control::Silence:
    case Control::Wake: {
        const bool silence = control->kind == Control::Silence;
        m_devices.setSilent(control->device, silence);
        emitLine((silence ? "silence " : "wake ") + QByteArray::number(ms()) + ' ' +
                 QByteArray::number(control->device) + '\n');
        return;
    }
    case Control::IgnoreSetIp:
    case Control::DropSetIp:
    case Control::MisapplySetIp:
    case Control::HeedSetIp: {
        SetIpHabit habit = m_devices.habit(control->device);
        if (control->kind == Control::IgnoreSetIp)
            habit.ignore = true;
        else if (control->kind == Control::DropSetIp)
            habit.drop = control->argument.toInt();
        else if (control->kind == Control::MisapplySetIp)
            habit.otherAddress = control->argument;
        else
            habit = SetIpHabit();
        m_devices.setHabit(control->device, habit);
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        emitLine(
            (QStringList{words[0], QString::number(ms())} + words.mid(1)).join(QLatin1Char(' ')).toUtf8() +
            '\n');
        return;
    }
    }
}

void Simulator::emitLine(const QByteArray &line)
{
    // Flushed at once: tests read these lines while the program runs.
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

void Simulator::printDevice(int index)
{
    m_replies[index] = protocol::discoveryReply(m_devices.device(index));
    emitLine("device " + QByteArray::number(ms()) + ' ' + QByteArray::number(index) + ' ' +
             m_replies[index].toHex() + '\n');
}

void Simulator::note(const QString &text)
{
    std::fprintf(stderr, "lanscout-devsim: %s\n", qUtf8Printable(text));
}
