#include "engine.h"

#include "conflicts.h"
#include "format.h"
#include "protocol.h"
#include "signalpipe.h"
#include "threadctl.h"
#include "udpserver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <csignal>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

namespace cli {

Engine::Engine() = default;

Engine::~Engine()
{
    // Whatever the hooks captured may be gone by now.
    table.added = nullptr, table.changed = nullptr, table.removed = nullptr, table.replied = nullptr;
    stop();
}

bool Engine::start()
{
    m_ctl = std::make_unique<ThreadCtl>(list);
    // Read by the worker only after start() below reaches it, a queued call.
    m_ctl->server->setInterfaceNames(interfaces);
    m_ctl->server->setCapture(capture);
    int addresses = -1, bound = -1;
    QEventLoop loop;
    QObject::connect(m_ctl->server, &UdpServer::started, &loop, [&](int a, int b) {
        addresses = a, bound = b;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit); // the worker never fails to answer
    emit m_ctl->server->start();
    loop.exec();
    if (addresses == 0 && !interfaces.isEmpty())
        note(QStringLiteral("no usable interface: %1 is not up with an IPv4 address")
                 .arg(interfaces.join(QLatin1String(", "))));
    else if (addresses == 0)
        note(QStringLiteral("no usable interface: no network interface is up with an IPv4 address"));
    else if (bound == 0)
        note(QStringLiteral("no usable interface: port 8888 could not be bound on any of the %1 IPv4 "
                            "address(es); another program holds it (run with --trace for the errors)")
                 .arg(addresses));
    return addresses > 0 && bound > 0;
}

void Engine::stop()
{
    if (m_ctl) // a copy made on the worker thread, which waits for nothing here
        QMetaObject::invokeMethod(
            m_ctl->server, [this] { reports = m_ctl->server->statistics(); }, Qt::BlockingQueuedConnection);
    m_ctl.reset();
    list.applyPendingChanges();
}

namespace {

QVector<Subnet> localSubnets(const QVector<SeenOn> &seenOn, const QList<QNetworkInterface> &interfaces)
{
    QVector<Subnet> subnets;
    for (const QNetworkInterface &iface : interfaces) {
        const auto entries = iface.addressEntries();
        bool saw = false;
        for (const SeenOn &s : seenOn) {
            saw = saw || (!s.interfaceName.isEmpty() && s.interfaceName == iface.name());
            for (const QNetworkAddressEntry &entry : entries)
                saw = saw || (s.interfaceName.isEmpty() && entry.ip().toString() == s.address);
        }
        for (const QNetworkAddressEntry &entry : entries) {
            if (saw && entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                subnets << *subnetOf(entry.ip().toIPv4Address(), entry.prefixLength());
        }
    }
    return subnets;
}

} // namespace

QVector<Subnet> localSubnets(const QVector<SeenOn> &seenOn)
{
    return localSubnets(seenOn, QNetworkInterface::allInterfaces());
}

QSet<quint32> hostAddresses()
{
    QSet<quint32> addresses;
    for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            addresses << a.toIPv4Address();
    }
    return addresses;
}

QVector<Device> withNotes(const QVector<Device> &devices)
{
    // The interfaces once for all: thousands of devices may be listed.
    const auto interfaces = QNetworkInterface::allInterfaces();
    const QVector<QStringList> conflicts = addressConflicts(devices, hostAddresses());
    QVector<Device> noted = devices;
    for (int i = 0; i < noted.size(); ++i)
        noted[i].notes = Device::Notes{
            conflicts[i], reachableFrom(noted[i].rec, localSubnets(noted[i].seenOn, interfaces))};
    return noted;
}

bool hostPortHeldElsewhere()
{
    // The engine shares the port; a socket that asks for it alone is refused while any other
    // socket has it. Closed at once, before the engine binds.
    QUdpSocket probe;
    return !probe.bind(QHostAddress(QHostAddress::AnyIPv4), protocol::HostPort,
                       QAbstractSocket::DontShareAddress) &&
           probe.error() == QAbstractSocket::AddressInUseError;
}

bool knownInterfaces(const QStringList &names)
{
    QStringList there;
    for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces())
        there << iface.name();
    QStringList unknown;
    for (const QString &name : names) {
        if (!there.contains(name))
            unknown << quoted(name);
    }
    if (!unknown.isEmpty())
        note(QStringLiteral("--interface: no interface %1 here; there are: %2")
                 .arg(unknown.join(QLatin1String(", ")), there.join(QLatin1String(", "))));
    return unknown.isEmpty();
}

namespace {
std::function<void(int)> stopRequested;
#ifdef Q_OS_WIN
BOOL WINAPI onConsoleEvent(DWORD event)
{
    // Another thread of the system's: hand over to the main thread's event loop.
    const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [signal] { stopRequested(signal); }, Qt::QueuedConnection);
    return TRUE;
}
#endif
} // namespace

void onStopRequest(std::function<void(int)> stop)
{
    stopRequested = std::move(stop);
#ifdef Q_OS_UNIX
    forwardSignals({SIGINT, SIGTERM}, QCoreApplication::instance(),
                   [](int signal) { stopRequested(signal); });
#endif
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#endif
}

#ifdef Q_OS_WIN
namespace {
// The console behind a stream, or nullptr for a pipe or a file.
HANDLE consoleOf(std::FILE *stream)
{
    const auto handle = HANDLE(_get_osfhandle(_fileno(stream)));
    DWORD mode;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}
} // namespace
#endif

void writeStream(std::FILE *stream, const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    if (const HANDLE console = consoleOf(stream)) {
        std::fflush(stream);
        const QString text = QString::fromUtf8(bytes);
        const auto *units = reinterpret_cast<const wchar_t *>(text.utf16());
        // In pieces: older consoles refuse a large write; a pair of surrogates stays together.
        for (int at = 0; at < text.size();) {
            int n = std::min(text.size() - at, 8192);
            if (n > 1 && at + n < text.size() && text[at + n - 1].isHighSurrogate())
                --n;
            DWORD written = 0;
            if (!WriteConsoleW(console, units + at, DWORD(n), &written, nullptr) || written == 0)
                return;
            at += int(written);
        }
        return;
    }
#endif
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

bool stdoutIsTerminal()
{
#ifdef Q_OS_WIN
    return consoleOf(stdout) != nullptr;
#else
    return ::isatty(STDOUT_FILENO) == 1;
#endif
}

void out(const QByteArray &bytes)
{
    writeStream(stdout, bytes);
}

void note(const QString &text)
{
    // Messages quote what devices sent (their MACs and versions): escaped, like the table.
    writeStream(stderr, "lanscout-cli: " + plainText(text).toUtf8() + '\n');
}

} // namespace cli
