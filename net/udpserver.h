#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

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
    void readSocket(QUdpSocket *socket);
    qint64 readBroadcast(SeenOn *seenOn);

    IpList &m_list;
    QList<QUdpSocket *> socketList;            // one per usable IPv4 address; sends and receives
    QList<LocalAddress> m_local;               // the address of each socket of socketList
    QUdpSocket *m_broadcastListener = nullptr; // receives replies sent by broadcast
    QTimer *taskTimer = nullptr;
    quint32 discoveryCount = 0;
    QList<QHostAddress> m_fixedAddresses;
    QByteArray m_readBuffer; // every datagram is read into it, one at a time
};
