#include "threadctl.h"

#include "udpserver.h"

ThreadCtl::ThreadCtl(IpList &list, QObject *parent) : QObject(parent), server(new UdpServer(list))
{
    workThread.setObjectName(QStringLiteral("lanScout network"));
    server->moveToThread(&workThread);
    connect(&workThread, &QThread::finished, server, &QObject::deleteLater);
    workThread.start(QThread::InheritPriority);
}

ThreadCtl::~ThreadCtl()
{
    workThread.quit();
    workThread.wait();
}
