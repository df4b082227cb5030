#include "threadctl.h"

#include "heap.h"
#include "udpserver.h"

ThreadCtl::ThreadCtl(IpList &list, QObject *parent) : QObject(parent), server(new UdpServer(list))
{
    keepLargeBlocksMapped();
    workThread.setObjectName(QStringLiteral("lanScout network"));
    server->moveToThread(&workThread);
    connect(&workThread, &QThread::finished, server, &QObject::deleteLater);
    workThread.start(QThread::InheritPriority);
}

ThreadCtl::~ThreadCtl()
{
    // Asks long work on the worker (a big list dump, a burst of reads) to stop early.
    workThread.requestInterruption();
    workThread.quit();
    workThread.wait();
}
