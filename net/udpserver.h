#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <vector>

#include "devicerecord.h"

class IpList;
class QTimer;
class QUdpSocket;

// What to say when a socket got a smaller receive buffer than asked for (sizes in bytes, as the
// system reports them); empty when it got enough.
QString receiveBufferShortfall(int asked, int granted);

// Talks to the devices: broadcasts the discovery request at once and then every second
// (or, in its place, the most recently queued set-IP command), and merges every reply
// into the device list. Lives on the network worker thread.
class UdpServer : public QObject
{
    Q_OBJECT
public:
    explicit UdpServer(IpList &list, QObject *parent = nullptr);
    ~UdpServer() override;

    quint32 count() const { return discoveryCount; }
    // Optional: the addresses to open sockets on instead of the host's interfaces.
    void setAddressesForTest(const QList<QHostAddress> &addresses) { m_fixedAddresses = addresses; }

signals:
    void start();
    // Once serverInit() has opened the sockets: how many usable IPv4 addresses there were, and on
    // how many of them port 8888 could be bound (none: the engine hears nothing at all).
    void started(int addresses, int bound);

public slots:
    void serverInit();
    void taskSchedule();
    void readPendingDatagrams();

private:
    // A usable IPv4 address of the host and its interface (index 0 and no name when unknown).
    struct LocalAddress
    {
        QHostAddress ip;
        int prefixLength = -1;
        int interfaceIndex = 0;
        SeenOn seenOn;
    };

    void sendDiscovery();
    void sendSetIp(const SetIpRequest &request);
    void broadcast(const QByteArray &datagram);
    QList<LocalAddress> usableAddresses() const;
    // A datagram read but not yet handled, and where it was read.
    struct Received
    {
        QByteArray data;
        SeenOn seenOn;
    };
    // Reads what the socket has into m_received; signalled: answering its readyRead.
    void drain(QUdpSocket *socket, bool signalled);
    bool readOne(QUdpSocket *socket); // through the toolkit; false when there was nothing
    qint64 readBroadcast(SeenOn *seenOn);
#ifdef Q_OS_LINUX
    int readBatch(QUdpSocket *socket); // the datagrams read
#endif
    void keep(QByteArray data, const SeenOn &seenOn);
    // Parses, merges and traces what was read, in order, for a slice of time.
    void handleReceived();

    IpList &m_list;
    QList<QUdpSocket *> socketList;            // one per usable IPv4 address; sends and receives
    QList<LocalAddress> m_local;               // the address of each socket of socketList
    QUdpSocket *m_broadcastListener = nullptr; // receives replies sent by broadcast
    QTimer *taskTimer = nullptr;
    quint32 discoveryCount = 0;
    QList<QHostAddress> m_fixedAddresses;
    QByteArray m_readBuffer; // what the toolkit reads goes into it, one datagram at a time
#ifdef Q_OS_LINUX
    std::vector<char> m_batchBuffers; // the datagrams of one batch read
#endif
    std::deque<Received> m_received; // oldest first
    qint64 m_receivedBytes = 0;      // what they take up
    bool m_handlingQueued = false;   // the rest is to be handled in a later turn of the event loop
};
