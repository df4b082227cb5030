#include "rig.h"

#include "protocol.h"
#include "testnetwork.h"
#include "udpserver.h"

#include <QMutex>
#include <QTest>

#include <algorithm>

namespace logcapture {
namespace {
QMutex mutex; // guards captured and previous: the engine logs from its worker thread
QStringList captured;
QtMessageHandler previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "default");
    QtMessageHandler forward = nullptr;
    {
        QMutexLocker lock(&mutex);
        captured.append(category == QLatin1String("default") ? message
                                                             : category + QLatin1String(": ") + message);
        if (type != QtDebugMsg && type != QtInfoMsg)
            forward = previous;
    }
    if (forward)
        forward(type, context, message);
}
} // namespace

void install()
{
    QMutexLocker lock(&mutex);
    if (!previous)
        previous = qInstallMessageHandler(handler);
}

void clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}

QStringList lines()
{
    QMutexLocker lock(&mutex);
    return captured;
}
} // namespace logcapture

Engine::~Engine()
{
    ctl.reset();
    list.reset();
}

void Engine::start()
{
    ctl = std::make_unique<ThreadCtl>(*list);
    emit ctl->server->start();
}

quint32 Engine::discoveryCount() const
{
    quint32 count = 0;
    UdpServer *server = ctl->server;
    QMetaObject::invokeMethod(
        server, [server, &count] { count = server->count(); }, Qt::BlockingQueuedConnection);
    return count;
}

int Engine::rowOf(const QString &mac) const
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (cell(row, 2) == mac)
            return row;
    }
    return -1;
}

DeviceRecord Engine::device(int row) const
{
    DeviceRecord rec;
    list->getDevice(row, rec);
    return rec;
}
