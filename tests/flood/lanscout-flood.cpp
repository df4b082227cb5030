// lanscout-flood: sends a bounded flood of datagrams at the program's port, from inside the
// test bed only. See usage().

#include "floodgen.h"
#include "protocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QStringList>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

// Hard limits, whatever the command line asks for.
constexpr qint64 MaxCount = 2000000;
constexpr qint64 MaxDurationMs = 60000;

const char *usage()
{
    return "usage: lanscout-flood --kind malformed|devices|hostile --count N --duration-ms MS\n"
           "                      [--to ADDRESS]... [--port P] [--seed S] [--first I]\n"
           "  Sends N datagrams of the kind, spread evenly over MS ms, to the addresses in turn\n"
           "  (default 198.18.0.1; only 198.18.0.0/15 and 255.255.255.255 are allowed), port P\n"
           "  (default 8888). At most 2,000,000 datagrams and 60 s; it stops at twice MS in any case.\n"
           "  --first: the number of the first device of the devices kind (default 0).\n"
           "  Runs only in a private network namespace (testbed/run-in-testbed). Prints one line:\n"
           "  sent N bytes B errors E ms T\n";
}

// The flood is for the test bed's own network: refuse the machine's namespace, and any
// address outside the test range.
bool insidePrivateNetwork()
{
    const QString own = QFileInfo(QStringLiteral("/proc/self/ns/net")).symLinkTarget();
    const QString machine = QFileInfo(QStringLiteral("/proc/1/ns/net")).symLinkTarget();
    return !own.isEmpty() && !machine.isEmpty() && own != machine;
}

bool allowedTarget(const QHostAddress &a)
{
    return a == QHostAddress(QHostAddress::Broadcast) ||
           a.isInSubnet(QHostAddress(QStringLiteral("198.18.0.0")), 15);
}

void sleepMs(long ms)
{
    timespec t{0, ms * 1000000L};
    nanosleep(&t, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    QString kindName;
    qint64 count = -1, durationMs = -1;
    quint32 seed = 1;
    quint64 first = 0;
    quint16 port = protocol::HostPort;
    QList<QHostAddress> targets;
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        if (args.isEmpty()) {
            std::fprintf(stderr, "lanscout-flood: %s needs a value\n%s", qPrintable(option), usage());
            return 2;
        }
        const QString value = args.takeFirst();
        if (option == QLatin1String("--kind"))
            kindName = value;
        else if (option == QLatin1String("--count"))
            count = value.toLongLong();
        else if (option == QLatin1String("--duration-ms"))
            durationMs = value.toLongLong();
        else if (option == QLatin1String("--seed"))
            seed = value.toUInt();
        else if (option == QLatin1String("--first"))
            first = value.toULongLong();
        else if (option == QLatin1String("--port"))
            port = quint16(value.toUInt());
        else if (option == QLatin1String("--to"))
            targets.append(QHostAddress(value));
        else {
            std::fprintf(stderr, "lanscout-flood: unknown option %s\n%s", qPrintable(option), usage());
            return 2;
        }
    }
    flood::Kind kind;
    if (kindName == QLatin1String("malformed"))
        kind = flood::Kind::Malformed;
    else if (kindName == QLatin1String("devices"))
        kind = flood::Kind::Devices;
    else if (kindName == QLatin1String("hostile"))
        kind = flood::Kind::Hostile;
    else {
        std::fprintf(stderr, "lanscout-flood: --kind is malformed, devices or hostile\n%s", usage());
        return 2;
    }
    if (count < 0 || count > MaxCount || durationMs < 0 || durationMs > MaxDurationMs || port == 0) {
        std::fprintf(stderr, "lanscout-flood: --count 0..%lld and --duration-ms 0..%lld are needed\n%s",
                     MaxCount, MaxDurationMs, usage());
        return 2;
    }
    if (targets.isEmpty())
        targets.append(QHostAddress(QStringLiteral("198.18.0.1")));
    for (const QHostAddress &t : qAsConst(targets)) {
        if (!allowedTarget(t)) {
            std::fprintf(stderr, "lanscout-flood: %s is not a test bed address\n", qPrintable(t.toString()));
            return 2;
        }
    }
    if (!insidePrivateNetwork()) {
        std::fprintf(stderr, "lanscout-flood: refusing to run outside a private network namespace "
                             "(use testbed/run-in-testbed)\n");
        return 3;
    }

    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    const int sendBuffer = 4 * 1024 * 1024;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        std::perror("lanscout-flood: socket");
        return 1;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    QVector<sockaddr_in> to;
    for (const QHostAddress &t : qAsConst(targets)) {
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(t.toIPv4Address());
        to.append(a);
    }

    flood::Generator generator(kind, seed, first);
    QElapsedTimer clock;
    clock.start();
    const qint64 deadlineMs = 2 * durationMs + 1000;
    qint64 sent = 0, bytes = 0, errors = 0;
    while (sent < count && clock.elapsed() < deadlineMs) {
        // Evenly spread: as many as are due by now, then a short sleep.
        const qint64 due = durationMs > 0 ? qMin(count, count * (clock.elapsed() + 1) / durationMs) : count;
        while (sent < due) {
            const QByteArray d = generator.next();
            const sockaddr_in &a = to[int(sent % to.size())];
            if (::sendto(fd, d.constData(), size_t(d.size()), 0, reinterpret_cast<const sockaddr *>(&a),
                         sizeof a) < 0)
                ++errors;
            else
                bytes += d.size();
            ++sent;
        }
        if (sent < count)
            sleepMs(1);
    }
    ::close(fd);
    std::printf("sent %lld bytes %lld errors %lld ms %lld\n", sent, bytes, errors, clock.elapsed());
    return 0;
}
