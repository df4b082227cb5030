#include "udpserver.h"

#include "iplist.h"
#include "protocol.h"
#include "udplogging.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

Q_LOGGING_CATEGORY(lcUdp, "lanScout.udp")
Q_LOGGING_CATEGORY(lcProbe, "lanScout.probe", QtWarningMsg)

namespace {

constexpr int TickMs = 1000;
// Datagrams read from one socket per wake-up. What is left waits for the next turn of the
// event loop (the socket signals again), so a flood can't starve the timer or a quit.
constexpr int ReadBatch = 256;
constexpr qint64 ReadBudgetMs = 20;
// Thousands of devices may answer one broadcast in the same instant; the kernel default
// (about 200 KiB) holds only some hundreds of replies.
constexpr int ReceiveBufferBytes = 8 * 1024 * 1024;
// The largest UDP payload there is.
constexpr int MaxDatagramBytes = 65536;

QUdpSocket *openSocket(const QHostAddress &address, QObject *parent)
{
    auto *socket = new QUdpSocket(parent);
    if (!socket->bind(address, protocol::HostPort, QAbstractSocket::ShareAddress))
        qCWarning(lcUdp) << "bind" << address.toString() << protocol::HostPort
                         << "failed:" << socket->errorString();
    else {
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
        const QString shortfall = receiveBufferShortfall(
            ReceiveBufferBytes, socket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt());
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

QList<QHostAddress> UdpServer::usableAddresses() const
{
    if (!m_fixedAddresses.isEmpty())
        return m_fixedAddresses;
    QList<QHostAddress> addresses;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress ip = entry.ip();
            if (ip == QHostAddress(QHostAddress::LocalHost) || ip.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            addresses.append(ip);
        }
    }
    return addresses;
}

void UdpServer::serverInit()
{
    if (taskTimer)
        return; // already running
    const auto addresses = usableAddresses();
    for (const QHostAddress &address : addresses) {
        QUdpSocket *socket = openSocket(address, this);
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
        m_broadcastListener = openSocket(QHostAddress(QHostAddress::AnyIPv4), this);
        connect(m_broadcastListener, &QUdpSocket::readyRead, this, &UdpServer::readPendingDatagrams);
    }
#endif
    taskTimer = new QTimer(this);
    taskTimer->setTimerType(Qt::PreciseTimer);
    connect(taskTimer, &QTimer::timeout, this, &UdpServer::taskSchedule);
    taskTimer->start(TickMs);
    sendDiscovery();
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
    for (QUdpSocket *socket : qAsConst(socketList)) {
        if (socket->writeDatagram(datagram, QHostAddress(QHostAddress::Broadcast), protocol::DevicePort) < 0)
            qCWarning(lcUdp) << "send from" << socket->localAddress().toString()
                             << "failed:" << socket->errorString();
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
    m_list.ageDevices(discoveryCount);
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
        readSocket(socket);
        return;
    }
    for (QUdpSocket *socket : qAsConst(socketList))
        readSocket(socket);
    if (m_broadcastListener)
        readSocket(m_broadcastListener);
}

void UdpServer::readSocket(QUdpSocket *socket)
{
    // Bounded in time as well as in count, per socket so that a flood on one never starves
    // the others: with the debug output on, each reply costs trace lines.
    QThread *thread = QThread::currentThread();
    QElapsedTimer clock;
    clock.start();
    bool dumpOwed = false;
    // The first read comes without asking: only a read re-arms the socket's notifier, so a
    // signal must be followed by one even if the peek would say there is nothing (it returns at
    // once then). After that, each hasPendingDatagrams() is a system call: once per datagram.
    bool more = true;
    for (int n = 0;
         n < ReadBatch && more && !thread->isInterruptionRequested() && clock.elapsed() < ReadBudgetMs; ++n) {
        // Straight into one buffer: receiveDatagram() would first ask the kernel for the size
        // (one more system call per datagram) and allocate a datagram object each time.
        const qint64 size = socket->readDatagram(m_readBuffer.data(), m_readBuffer.size());
        if (size < 0) {
            if (socket->error() != QAbstractSocket::TemporaryError) // not just "nothing there"
                qCWarning(lcUdp) << "receive on" << socket->localAddress().toString()
                                 << "failed:" << socket->errorString();
            more = socket->hasPendingDatagrams();
            continue;
        }
        // The parser and the trace copy what they keep, so the buffer can be read in place.
        const QByteArray data = QByteArray::fromRawData(m_readBuffer.constData(), int(size));
        more = socket->hasPendingDatagrams();
        if (auto rec = protocol::parseDiscoveryReply(data)) {
            rec->cnt = discoveryCount;
            m_list.mergeDevice(std::move(*rec));
            // Every reply gets its dump. Only a list beyond what any site has (forged devices)
            // gets one dump per burst, after the burst's last reply read: a dump per reply
            // would cost the burst's length times the list's.
            dumpOwed = m_list.workerCount() > IpList::DumpLimit && more && n + 1 < ReadBatch;
            if (!dumpOwed)
                m_list.printIpList();
        }
        if (lcUdp().isDebugEnabled())
            qCDebug(lcUdp).noquote() << "rx: " << protocol::datagramText(data);
    }
    if (dumpOwed && !thread->isInterruptionRequested())
        m_list.printIpList();
}
