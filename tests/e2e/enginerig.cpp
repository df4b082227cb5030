#include "enginerig.h"

#include "udpserver.h"

#include <QMutex>
#include <QRegularExpression>

namespace logcapture {

namespace {

QMutex mutex; // guards captured and previous: the engine logs from its worker thread
QStringList captured;
QtMessageHandler previous = nullptr;
bool installed = false;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "default");
    const QString line =
        category == QLatin1String("default") ? message : category + QLatin1String(": ") + message;
    QtMessageHandler forward = nullptr;
    {
        QMutexLocker lock(&mutex);
        captured.append(line);
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
    if (installed)
        return;
    installed = true;
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

Engine::Engine() : list(std::make_unique<IpList>(model)) {}

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

QString Engine::cell(int row, int column) const
{
    return model.index(row, column).data().toString();
}

DeviceRecord Engine::device(int row) const
{
    DeviceRecord rec;
    list->getDevice(row, rec);
    return rec;
}

QVector<QVector<DumpEntry>> deviceListDumps(const QStringList &lines)
{
    static const QRegularExpression mac(QStringLiteral("^mac:  \"(.*)\"$"));
    static const QRegularExpression cnt(QStringLiteral("^cnt:  (\\d+)$"));
    QVector<QVector<DumpEntry>> dumps;
    QVector<DumpEntry> current;
    bool inDump = false;
    QString lastMac;
    for (const QString &line : lines) {
        if (line == QLatin1String("printIpList------------------------------------------------")) {
            inDump = true;
            current.clear();
        } else if (!inDump) {
            continue;
        } else if (line.startsWith(QLatin1String("lanScout.udp: rx:"))) {
            // The reply's own trace line follows its dump: only now is the dump whole.
            dumps.append(current);
            inDump = false;
        } else if (const auto m = mac.match(line); m.hasMatch()) {
            lastMac = m.captured(1);
        } else if (const auto c = cnt.match(line); c.hasMatch()) {
            current.append({lastMac, c.captured(1).toUInt()});
        }
    }
    return dumps;
}
