#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <vector>

#include "devicerecord.h"

class IpList;
class QTimer;
class QUdpSocket;

// What to say when a socket got a smaller receive buffer than asked for (sizes in bytes, as the
// system reports them); empty when it got enough.
QString receiveBufferShortfall(int asked, int granted);

// What one socket of the engine did in a run, for diagnosis. Counted on the worker thread.
struct SocketReport
{
    QString address; // "0.0.0.0": the socket that reads replies sent by broadcast
    int prefixLength = -1;
    QString interfaceName;
    bool bound = false;
    QString error; // why the bind failed
    int bufferAsked = 0, bufferGranted = 0;
    quint64 sent = 0;        // datagrams
    quint64 received = 0;    // replies sent by broadcast count where their interface is
    quint64 accepted = 0;    // read as a discovery reply
    quint64 ignored = 0;     // anything else
    qint64 kernelDrops = -1; // dropped by the system before they could be read; -1: it doesn't tell
};

// A datagram the engine sent or read, for a capture; data is valid during the call only.
struct CapturedDatagram
{
    QHostAddress from;
    quint16 fromPort = 0;
    QHostAddress to;
    quint16 toPort = 0;
    const char *data = nullptr;
    int size = 0;
};

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
    // Set before start: only the addresses of the interfaces of these names (empty: all).
    void setInterfaceNames(const QStringList &names) { m_interfaceNames = names; }
    // Set before start: called on the worker thread for every datagram sent and read.
    using CaptureHook = std::function<void(const CapturedDatagram &)>;
    void setCapture(CaptureHook capture) { m_capture = std::move(capture); }
    // On the worker thread: a report per socket, the broadcast listener's (if any) last.
    QVector<SocketReport> statistics() const;

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
        int source; // its entry of m_stats
    };
    // Reads what the socket has into m_received; signalled: answering its readyRead.
    void drain(QUdpSocket *socket, bool signalled);
    bool readOne(QUdpSocket *socket); // through the toolkit; false when there was nothing
    qint64 readBroadcast(SeenOn *seenOn, int *source);
    void captureRead(QUdpSocket *socket, const QHostAddress &from, quint16 fromPort, const char *data,
                     qint64 size);
#ifdef Q_OS_LINUX
    int readBatch(QUdpSocket *socket); // the datagrams read
#endif
    void keep(QByteArray data, const SeenOn &seenOn, int source);
    // Parses, merges and traces what was read, in order, for a slice of time.
    void handleReceived();

    IpList &m_list;
    QList<QUdpSocket *> socketList;            // one per usable IPv4 address; sends and receives
    QList<LocalAddress> m_local;               // the address of each socket of socketList
    QUdpSocket *m_broadcastListener = nullptr; // receives replies sent by broadcast
    QTimer *taskTimer = nullptr;
    quint32 discoveryCount = 0;
    int m_removedSinceTrim = 0; // devices removed since the heap's free pages last went back
    QElapsedTimer m_lastTrim;
    QList<QHostAddress> m_fixedAddresses;
    QStringList m_interfaceNames;
    CaptureHook m_capture;
    // One per socket of socketList, then the broadcast listener's: plain counters, as only the
    // worker thread touches them.
    QVector<SocketReport> m_stats;
    QByteArray m_readBuffer; // what the toolkit reads goes into it, one datagram at a time
#ifdef Q_OS_LINUX
    std::vector<char> m_batchBuffers; // the datagrams of one batch read
#endif
    std::deque<Received> m_received; // oldest first
    qint64 m_receivedBytes = 0;      // what they take up
    bool m_handlingQueued = false;   // the rest is to be handled in a later turn of the event loop
};
