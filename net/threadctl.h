#pragma once

#include <QObject>
#include <QThread>

class IpList;
class UdpServer;

// Owns the network worker thread and the UdpServer that lives on it.
class ThreadCtl : public QObject
{
    Q_OBJECT
public:
    explicit ThreadCtl(IpList &list, QObject *parent = nullptr);
    // Ends the worker's event loop and joins the thread; the server, its sockets and its
    // timer are deleted on the worker thread as it finishes.
    ~ThreadCtl() override;

    QThread workThread;
    UdpServer *server;
};
