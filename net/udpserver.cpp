#include "udpserver.h"

#include "heap.h"
#include "iplist.h"
#include "protocol.h"
#include "udplogging.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

Q_LOGGING_CATEGORY(lcUdp, "lanScout.udp")
Q_LOGGING_CATEGORY(lcProbe, "lanScout.probe", QtWarningMsg)

namespace {

constexpr int TickMs = 1000;
// The heap's free pages go back once this many devices have gone, at most once a minute: a site
// whose devices come and go keeps the size it has, and a flood of forged identities removed in
// bulk costs one walk of the heap, not one a second.
constexpr int TrimAfterRemovals = 1000;
constexpr qint64 TrimIntervalMs = 60 * 1000;
// Datagrams are read as fast as they come and handled (parsed, merged, traced) in slices of at
// most this long; what is left is handled in a later turn of the event loop, so a flood can't
// starve the timer or a quit. Between chunks of a slice the sockets are read again, so that the
// kernel's buffers stay short even while handling, with its trace, is slower than the replies.
constexpr qint64 HandleBudgetMs = 20;
constexpr int HandleChunk = 64;
// Read, not yet handled: what a burst of replies may take up here rather than be dropped by the
// kernel (each datagram counted with what it costs beside its bytes), and no more per read.
constexpr qint64 MaxReceivedBytes = 16 * 1024 * 1024;
constexpr qint64 ReceivedOverhead = 128;
constexpr int MaxReadsPerDrain = 1024;
#ifdef Q_OS_LINUX
constexpr int ReadBatch = 32; // datagrams per system call
#endif
// Thousands of devices may answer one broadcast in the same instant; the kernel default
// (about 200 KiB) holds only some hundreds of replies.
constexpr int ReceiveBufferBytes = 8 * 1024 * 1024;
// The largest UDP payload there is.
constexpr int MaxDatagramBytes = 65536;

QUdpSocket *openSocket(const QHostAddress &address, QObject *parent, SocketReport *report)
{
    auto *socket = new QUdpSocket(parent);
    // The socket's state can't tell: a failed bind leaves it bound all the same.
    const bool ok = socket->bind(address, protocol::HostPort, QAbstractSocket::ShareAddress);
    report->bound = ok;
    if (!ok) {
        report->error = socket->errorString();
        qCWarning(lcUdp) << "bind" << address.toString() << protocol::HostPort
                         << "failed:" << socket->errorString();
    } else {
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
        report->bufferAsked = ReceiveBufferBytes;
        report->bufferGranted = socket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
        const QString shortfall = receiveBufferShortfall(ReceiveBufferBytes, report->bufferGranted);
        if (!shortfall.isEmpty())
            qCWarning(lcUdp).noquote() << address.toString() << shortfall;
    }
    return socket;
}

} // namespace

QString receiveBufferShortfall(int asked, int granted)
{
    if (granted >= asked)
        return QString();
    // The kernel drops what does not fit, and nothing else would tell: the list just thins out.
    return QStringLiteral("receive buffer of %1 bytes where %2 were asked for: replies of many devices "
                          "answering at once may be lost (the system's limit, net.core.rmem_max on "
                          "Linux, is lower)")
        .arg(granted)
        .arg(asked);
}

UdpServer::UdpServer(IpList &list, QObject *parent)
    : QObject(parent), m_list(list), m_readBuffer(MaxDatagramBytes, Qt::Uninitialized)
{
    connect(this, &UdpServer::start, this, &UdpServer::serverInit);
}

UdpServer::~UdpServer() = default;

QList<UdpServer::LocalAddress> UdpServer::usableAddresses() const
{
    QList<LocalAddress> addresses;
    for (const QHostAddress &ip : m_fixedAddresses)
        addresses.append({ip, -1, 0, {ip.toString(), QString()}});
    if (!addresses.isEmpty())
        return addresses;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        if (!m_interfaceNames.isEmpty() && !m_interfaceNames.contains(iface.name()))
            continue;
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress ip = entry.ip();
            if (ip == QHostAddress(QHostAddress::LocalHost) || ip.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            addresses.append({ip, entry.prefixLength(), iface.index(), {ip.toString(), iface.name()}});
        }
    }
    return addresses;
}

void UdpServer::serverInit()
{
    if (taskTimer)
        return; // already running
    m_local = usableAddresses();
    int bound = 0;
    for (const LocalAddress &address : qAsConst(m_local)) {
        SocketReport report;
        report.address = address.ip.toString();
        report.prefixLength = address.prefixLength;
        report.interfaceName = address.seenOn.interfaceName;
        QUdpSocket *socket = openSocket(address.ip, this, &report);
        bound += report.bound;
        m_stats.append(report);
        connect(socket, &QUdpSocket::readyRead, this, &UdpServer::readPendingDatagrams);
        // A socket whose bind failed stays: it is written to like the others.
        socketList.append(socket);
    }
#ifndef Q_OS_WIN
    // Here a socket bound to a unicast address never sees datagrams sent to a broadcast
    // address; devices that answer by broadcast reach this one. Unicast replies still go
    // to the more specific address-bound sockets, so no reply is read twice. (Windows
    // hands broadcasts to the address-bound sockets, where this socket would duplicate them.)
    if (!socketList.isEmpty()) {
        SocketReport report;
        report.address = QStringLiteral("0.0.0.0");
        m_broadcastListener = openSocket(QHostAddress(QHostAddress::AnyIPv4), this, &report);
        m_stats.append(report);
        connect(m_broadcastListener, &QUdpSocket::readyRead, this, &UdpServer::readPendingDatagrams);
    }
#endif
    taskTimer = new QTimer(this);
    taskTimer->setTimerType(Qt::PreciseTimer);
    connect(taskTimer, &QTimer::timeout, this, &UdpServer::taskSchedule);
    taskTimer->start(TickMs);
    sendDiscovery();
    emit started(int(m_local.size()), bound);
}

void UdpServer::taskSchedule()
{
    if (auto request = m_list.takeSetIpRequest()) {
        sendSetIp(*request);
        return;
    }
    sendDiscovery();
}

void UdpServer::broadcast(const QByteArray &datagram)
{
    for (int i = 0; i < socketList.size(); ++i) {
        QUdpSocket *socket = socketList.at(i);
        if (socket->writeDatagram(datagram, QHostAddress(QHostAddress::Broadcast), protocol::DevicePort) <
            0) {
            qCWarning(lcUdp) << "send from" << socket->localAddress().toString()
                             << "failed:" << socket->errorString();
            continue;
        }
        ++m_stats[i].sent;
        if (m_capture)
            m_capture({m_local.at(i).ip, socket->localPort(), QHostAddress(QHostAddress::Broadcast),
                       protocol::DevicePort, datagram.constData(), int(datagram.size())});
    }
}

void UdpServer::sendDiscovery()
{
    const QByteArray datagram = protocol::discoveryRequest();
    qCDebug(lcUdp) << "tx: " << datagram;
    if (lcProbe().isDebugEnabled()) // replies to it will carry the new count
        qCDebug(lcProbe, "tx %u %lld", discoveryCount + 1, probeClockNs());
    broadcast(datagram);
    ++discoveryCount;
    m_removedSinceTrim += m_list.ageDevices(discoveryCount);
    if (m_removedSinceTrim >= TrimAfterRemovals &&
        (!m_lastTrim.isValid() || m_lastTrim.hasExpired(TrimIntervalMs))) {
        returnFreeHeapPages();
        m_removedSinceTrim = 0;
        m_lastTrim.start();
    }
}

void UdpServer::sendSetIp(const SetIpRequest &request)
{
    const QByteArray datagram = protocol::setIpCommand(request);
    qCDebug(lcUdp) << "tx: " << datagram;
    broadcast(datagram);
}

void UdpServer::readPendingDatagrams()
{
    // Each socket reads what it signalled itself. The toolkit marks a socket when it signals
    // readyRead and takes the mark away only in that socket's readDatagram(); a marked socket
    // that becomes readable again gets its notifier switched off without a signal. So had one
    // signal drained every socket, a second socket that signalled in the same turn of the event
    // loop would find nothing, keep its mark, and go unread from its next datagram on.
    if (auto *socket = qobject_cast<QUdpSocket *>(sender())) {
        drain(socket, true);
    } else {
        for (QUdpSocket *socket : qAsConst(socketList))
            drain(socket, true);
        if (m_broadcastListener)
            drain(m_broadcastListener, true);
    }
    handleReceived();
}

void UdpServer::drain(QUdpSocket *socket, bool signalled)
{
    // A signal is answered with one read through the toolkit, which re-arms the socket's notifier,
    // even when there turns out to be nothing (it returns at once then).
    if (signalled && !readOne(socket))
        return;
    for (int reads = 0; reads < MaxReadsPerDrain && m_receivedBytes < MaxReceivedBytes;) {
#ifdef Q_OS_LINUX
        // Many datagrams per system call; the toolkit's read needs two calls for each (a peek for
        // the next one, then the read). Its notifier is re-armed by the first read above.
        if (socket != m_broadcastListener) {
            const int n = readBatch(socket);
            reads += n;
            if (n < ReadBatch)
                return;
            continue;
        }
#endif
        if (!socket->hasPendingDatagrams() || !readOne(socket))
            return;
        ++reads;
    }
}

bool UdpServer::readOne(QUdpSocket *socket)
{
    SeenOn seenOn;
    int source = int(m_stats.size()) - 1; // the broadcast listener's, unless its interface is known
    QHostAddress from;
    quint16 fromPort = 0;
    // Straight into one buffer: receiveDatagram() would first ask the kernel for the size (one more
    // system call per datagram) and allocate a datagram object each time. The sender only for a
    // capture.
    const qint64 size = socket == m_broadcastListener ? readBroadcast(&seenOn, &source)
                        : m_capture
                            ? socket->readDatagram(m_readBuffer.data(), m_readBuffer.size(), &from, &fromPort)
                            : socket->readDatagram(m_readBuffer.data(), m_readBuffer.size());
    if (size < 0) {
        if (socket->error() != QAbstractSocket::TemporaryError) // not just "nothing there"
            qCWarning(lcUdp) << "receive on" << socket->localAddress().toString()
                             << "failed:" << socket->errorString();
        return false;
    }
    if (socket != m_broadcastListener) {
        source = int(socketList.indexOf(socket));
        seenOn = m_local.value(source).seenOn;
        if (m_capture)
            captureRead(socket, from, fromPort, m_readBuffer.constData(), size);
    }
    ++m_stats[source].received;
    keep(QByteArray(m_readBuffer.constData(), int(size)), seenOn, source);
    return true;
}

void UdpServer::keep(QByteArray data, const SeenOn &seenOn, int source)
{
    m_receivedBytes += data.size() + ReceivedOverhead;
    m_received.push_back({std::move(data), seenOn, source});
}

void UdpServer::captureRead(QUdpSocket *socket, const QHostAddress &from, quint16 fromPort, const char *data,
                            qint64 size)
{
    m_capture({from, fromPort, socket->localAddress(), protocol::HostPort, data, int(size)});
}

QVector<SocketReport> UdpServer::statistics() const
{
    QVector<SocketReport> reports = m_stats;
#ifdef Q_OS_LINUX
    // The socket's drop count (sk_drops, what SO_RXQ_OVFL would tell datagram by datagram): one
    // system call at the end costs the reads nothing.
    for (int i = 0; i < reports.size(); ++i) {
        QUdpSocket *socket = i < socketList.size() ? socketList.at(i) : m_broadcastListener;
        quint32 info[SK_MEMINFO_VARS] = {};
        socklen_t length = sizeof info;
        if (socket && reports[i].bound &&
            ::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_MEMINFO, info, &length) == 0 &&
            length > SK_MEMINFO_DROPS * sizeof(quint32))
            reports[i].kernelDrops = info[SK_MEMINFO_DROPS];
    }
#endif
    return reports;
}

#ifdef Q_OS_LINUX
int UdpServer::readBatch(QUdpSocket *socket)
{
    if (m_batchBuffers.empty()) // pages are touched only as far as datagrams fill them
        m_batchBuffers.resize(size_t(ReadBatch) * MaxDatagramBytes);
    mmsghdr messages[ReadBatch] = {};
    iovec parts[ReadBatch];
    sockaddr_in senders[ReadBatch]; // only for a capture
    for (int i = 0; i < ReadBatch; ++i) {
        parts[i] = {m_batchBuffers.data() + size_t(i) * MaxDatagramBytes, size_t(MaxDatagramBytes)};
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        if (m_capture) {
            messages[i].msg_hdr.msg_name = &senders[i];
            messages[i].msg_hdr.msg_namelen = sizeof senders[i];
        }
    }
    const int n = ::recvmmsg(int(socket->socketDescriptor()), messages, ReadBatch, MSG_DONTWAIT, nullptr);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            qCWarning(lcUdp) << "receive on" << socket->localAddress().toString()
                             << "failed:" << qt_error_string(errno);
        return 0;
    }
    const int source = int(socketList.indexOf(socket));
    const SeenOn seenOn = m_local.value(source).seenOn;
    m_stats[source].received += quint64(n);
    for (int i = 0; i < n; ++i) {
        const auto *data = static_cast<const char *>(parts[i].iov_base);
        if (m_capture)
            captureRead(socket, QHostAddress(ntohl(senders[i].sin_addr.s_addr)), ntohs(senders[i].sin_port),
                        data, messages[i].msg_len);
        keep(QByteArray(data, int(messages[i].msg_len)), seenOn, source);
    }
    return n;
}
#endif

void UdpServer::handleReceived()
{
    QThread *thread = QThread::currentThread();
    QElapsedTimer clock;
    clock.start();
    bool dumpOwed = false;
    while (!m_received.empty() && !thread->isInterruptionRequested() && clock.elapsed() < HandleBudgetMs) {
        for (int n = 0; n < HandleChunk && !m_received.empty(); ++n) {
            const Received r = std::move(m_received.front());
            m_received.pop_front();
            m_receivedBytes -= r.data.size() + ReceivedOverhead;
            auto rec = protocol::parseDiscoveryReply(r.data);
            ++(rec ? m_stats[r.source].accepted : m_stats[r.source].ignored);
            if (rec) {
                rec->cnt = discoveryCount;
                m_list.mergeDevice(std::move(*rec), r.seenOn);
                // Every reply gets its dump. Only a list beyond what any site has (forged devices)
                // gets one dump per burst, after the burst's last reply handled: a dump per reply
                // would cost the burst's length times the list's.
                dumpOwed = m_list.workerCount() > IpList::DumpLimit && !m_received.empty();
                if (!dumpOwed)
                    m_list.printIpList();
            }
            if (lcUdp().isDebugEnabled())
                qCDebug(lcUdp).noquote() << "rx: " << protocol::datagramText(r.data);
        }
        for (QUdpSocket *socket : qAsConst(socketList))
            drain(socket, false);
    }
    if (dumpOwed && !thread->isInterruptionRequested())
        m_list.printIpList();
    if (!m_received.empty() && !thread->isInterruptionRequested() && !m_handlingQueued) {
        m_handlingQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_handlingQueued = false;
                handleReceived();
            },
            Qt::QueuedConnection);
    }
}

qint64 UdpServer::readBroadcast(SeenOn *seenOn, int *source)
{
    // The wildcard socket is bound to no address of its own: the datagram's header names the
    // interface it came in on, and the sender's subnet picks among that interface's addresses.
    const QNetworkDatagram datagram = m_broadcastListener->receiveDatagram(m_readBuffer.size());
    if (!datagram.isValid())
        return -1;
    const QByteArray data = datagram.data();
    std::copy(data.cbegin(), data.cend(), m_readBuffer.begin());
    *seenOn = SeenOn();
    for (int i = 0; i < m_local.size(); ++i) {
        const LocalAddress &local = m_local.at(i);
        if (local.interfaceIndex == 0 || uint(local.interfaceIndex) != datagram.interfaceIndex())
            continue;
        if (seenOn->isEmpty() || datagram.senderAddress().isInSubnet(local.ip, local.prefixLength))
            *seenOn = local.seenOn, *source = i;
    }
    if (m_capture)
        m_capture({datagram.senderAddress(), quint16(datagram.senderPort()), datagram.destinationAddress(),
                   protocol::HostPort, data.constData(), int(data.size())});
    return data.size();
}
