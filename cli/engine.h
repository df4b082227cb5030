#pragma once

#include "checks.h"
#include "devicetable.h"
#include "iplist.h"
#include "udpserver.h"

#include <QByteArray>
#include <QSet>

#include <cstdio>
#include <functional>
#include <memory>

class ThreadCtl;

// What the command line runs and prints through.
namespace cli {

// The discovery engine as the window runs it: the UdpServer on its worker thread (ThreadCtl),
// the same sockets, bytes and schedule, and the same device list, which hands its changes to
// table on this thread.
class Engine
{
public:
    Engine();
    ~Engine();
    // Starts the worker and waits until its sockets are open. False, with the reason said on
    // standard error, when no socket could be: no usable IPv4 address, or port 8888 taken on
    // every one. The engine then hears nothing, which must not pass for an empty network.
    bool start();
    // Ends the worker thread, then hands table every change still queued.
    void stop();
    // Queued as the window's dialog queues it: sent in place of the next discovery.
    void send(const SetIpRequest &request) { list.pushSetIpRequest(request); }

    DeviceTable table;
    IpList list{table};
    // Set before start(): only the addresses of these interfaces (empty: all of them); a hook that
    // sees every datagram, on the worker thread.
    QStringList interfaces;
    UdpServer::CaptureHook capture;
    // Once stopped: what each socket did (UdpServer::statistics()).
    QVector<SocketReport> reports;

private:
    std::unique_ptr<ThreadCtl> m_ctl;
};

// Every IPv4 subnet of the local interfaces that read a device's replies.
QVector<Subnet> localSubnets(const QVector<SeenOn> &seenOn);
// The devices as list shows them: each with its conflicts and whether it is in reach from here.
QVector<Device> withNotes(const QVector<Device> &devices);
// This host's own IPv4 addresses.
QSet<quint32> hostAddresses();

// True when another program holds this host's port 8888 (and so may take replies meant here).
bool hostPortHeldElsewhere();
// The names of the interfaces that are not among the system's, said with the names there are;
// true when all are known.
bool knownInterfaces(const QStringList &names);

// Calls stop on this thread, with the signal's number, when SIGINT or SIGTERM (Unix) or a console
// control event (Windows: Ctrl-C as SIGINT, the others as SIGTERM) arrives; from then on those
// no longer end the process at once.
void onStopRequest(std::function<void(int signal)> stop);

// UTF-8 bytes written to a standard stream and flushed; to a Windows console as UTF-16, which it
// shows whatever its code page.
void writeStream(std::FILE *stream, const QByteArray &bytes);
// True when standard output is a terminal (on Windows a console), not a pipe or a file.
bool stdoutIsTerminal();

// Standard output, flushed at once so that no line waits in a buffer; messages on standard error,
// as plainText() shows them.
void out(const QByteArray &bytes);
void note(const QString &text);

} // namespace cli
