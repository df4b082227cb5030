#pragma once

#include "testnetwork.h"

#include "shownprobe.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <functional>
#include <limits>

// What the benchmark's processes share: clocks and counters of this process, the private
// network check, the simulator, and the moment a window is first on screen.
namespace bench {

// What a measurement against the simulator is asked for (the engine's and the minimal loop's).
struct TrafficOptions
{
    int devices = 100;
    int spreadMs = 200;
    int windowS = 60;
    // How long the devices get to be listed before the window starts anyway.
    int fillTimeoutS = 15;
    // When above 0: the sockets get the receive buffer a kernel whose net.core.rmem_max is this
    // would grant (set from outside, right after they are opened).
    int receiveBufferCap = 0;
};

// User plus system CPU time of this process (all its threads), in seconds.
double cpuSeconds();
// Resident memory of this process, in bytes; -1 when unknown.
qint64 residentBytes();
// The Udp counters of this process's network namespace.
QHash<QByteArray, qint64> udpNow();
// Packets dropped so far at full input backlogs, all CPUs (the whole machine, not one namespace).
qint64 backlogDropsNow();

// Sets the receive buffer of every UDP socket of this process bound to the port to bytes (the
// kernel doubles it) and returns how many there were.
int setReceiveBuffers(quint16 port, int bytes);

// For a single measurement: prints "error <why>" (the line the orchestrator reads).
void reportError(const QString &why);
// testnet::insideTestNetwork(), reporting the refusal as an error when outside. Everything here
// that opens a socket or starts the simulator asks first.
bool requireTestNetwork();

// Runs the event loop until done() holds (checked every few milliseconds) or timeoutMs pass;
// returns done().
bool runUntil(const std::function<bool()> &done, int timeoutMs);

// lanscout-devsim in the LAN namespace of the test bed, with a bounded lifetime. Counts the
// datagrams it received (stamped on arrival of its line here) and the devices whose reply it
// could not send.
class Devsim : public QObject
{
    Q_OBJECT
public:
    explicit Devsim(QObject *parent = nullptr);
    ~Devsim() override; // kills it

    bool start(const QStringList &arguments, int lifetimeS, QString *error);
    void stop();

    int received() const { return m_rxNs.size(); }
    // When each datagram's line was read here: late by as long as this thread was busy.
    const QVector<qint64> &receivedNs() const { return m_rxNs; }
    // When the simulator received datagram i, on this process's clock: its own millisecond
    // stamp moved by the smallest gap seen between its stamps and their arrival here.
    qint64 receivedAtNs(int i) const { return m_rxMs.at(i) * 1000000 + m_offsetNs; }
    // Devices whose reply the simulator failed to send (its send buffer was full, say).
    const QSet<int> &failedDevices() const { return m_failed; }
    int failedSends() const { return m_failedSends; }

private:
    void readOutput();
    void readErrors();

    QProcess m_process;
    QByteArray m_errBuffer; // standard error not yet split into lines
    QByteArray m_errText;   // its beginning, for messages
    bool m_ready = false;
    QVector<qint64> m_rxNs;
    QVector<qint64> m_rxMs; // the simulator's stamps
    qint64 m_offsetNs = std::numeric_limits<qint64>::max();
    QSet<int> m_failed;
    int m_failedSends = 0;
};

} // namespace bench
