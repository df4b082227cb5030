// lanscout-flood: a bounded flood of datagrams at the program's port, from inside the test bed
// only.

#include "floodgen.h"
#include "protocol.h"
#include "testnetwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMap>
#include <QThread>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char Usage[] =
    "usage: lanscout-flood --kind malformed|devices|hostile|flapping --count N --duration-ms MS\n"
    "                      [--to ADDRESS]... [--port P] [--seed S] [--first I] [--cycle C]\n"
    "  Sends N datagrams of the kind, spread evenly over MS ms, to the addresses in turn (default\n"
    "  198.18.0.1; only 198.18.0.0/15 and 255.255.255.255), port P (default 8888). At most\n"
    "  2,000,000 datagrams and 60 s; it stops at twice MS and a second in any case. --first: the\n"
    "  number of the first device of the devices kind (the flapping kind's one device, whose address\n"
    "  alternates); --cycle: the devices kind repeats C devices from there. Runs only in the test\n"
    "  bed. Prints: sent N bytes B errors E ms T\n";

int fail(const QString &why, int code = 2)
{
    std::fprintf(stderr, "lanscout-flood: %s\n%s", qPrintable(why), code == 2 ? Usage : "");
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    QMap<QString, QString> option{{QStringLiteral("--seed"), QStringLiteral("1")},
                                  {QStringLiteral("--first"), QStringLiteral("0")},
                                  {QStringLiteral("--cycle"), QStringLiteral("0")},
                                  {QStringLiteral("--port"), QString::number(protocol::HostPort)}};
    QList<QHostAddress> targets;
    for (int i = 0; i < args.size(); i += 2) {
        const QString name = args[i];
        if (i + 1 == args.size())
            return fail(name + QStringLiteral(" needs a value"));
        if (name == QLatin1String("--to"))
            targets.append(QHostAddress(args[i + 1]));
        else if (QStringList{QStringLiteral("--kind"), QStringLiteral("--count"),
                             QStringLiteral("--duration-ms")}
                     .contains(name) ||
                 option.contains(name))
            option[name] = args[i + 1];
        else
            return fail(QStringLiteral("unknown option ") + name);
    }
    const QStringList kinds{QStringLiteral("malformed"), QStringLiteral("devices"), QStringLiteral("hostile"),
                            QStringLiteral("flapping")};
    const int kind = kinds.indexOf(option.value(QStringLiteral("--kind")));
    bool countOk = false, durationOk = false;
    const qint64 count = option.value(QStringLiteral("--count")).toLongLong(&countOk);
    const qint64 durationMs = option.value(QStringLiteral("--duration-ms")).toLongLong(&durationOk);
    const quint16 port = quint16(option.value(QStringLiteral("--port")).toUInt());
    if (kind < 0 || !countOk || !durationOk || count < 0 || count > 2000000 || durationMs < 0 ||
        durationMs > 60000 || port == 0)
        return fail(QStringLiteral("--kind, --count 0..2000000 and --duration-ms 0..60000 are needed"));
    if (targets.isEmpty())
        targets.append(QHostAddress(QStringLiteral("198.18.0.1")));
    for (const QHostAddress &t : qAsConst(targets)) {
        if (t != QHostAddress(QHostAddress::Broadcast) &&
            !t.isInSubnet(QHostAddress(QStringLiteral("198.18.0.0")), 15))
            return fail(t.toString() + QStringLiteral(" is not a test bed address"));
    }
    if (QString why; !testnet::insideTestNetwork(&why))
        return fail(QStringLiteral("refusing to run outside the test network: ") + why, 3);

    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1, sendBuffer = 4 * 1024 * 1024;
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

    flood::Generator generator(flood::Kind(kind), option.value(QStringLiteral("--seed")).toUInt(),
                               option.value(QStringLiteral("--first")).toULongLong(),
                               option.value(QStringLiteral("--cycle")).toULongLong());
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0, bytes = 0, errors = 0;
    const qint64 deadline = 2 * durationMs + 1000;
    while (sent < count && clock.elapsed() < deadline) {
        // Evenly spread: as many as are due by now, then a short sleep. A sender slower than the
        // rate (a sanitized build, a loaded machine) catches up only until the deadline.
        const qint64 due = durationMs > 0 ? qMin(count, count * (clock.elapsed() + 1) / durationMs) : count;
        for (; sent < due && (sent % 256 != 0 || clock.elapsed() < deadline); ++sent) {
            const QByteArray d = generator.next();
            const sockaddr_in &a = to[int(sent % to.size())];
            if (::sendto(fd, d.constData(), size_t(d.size()), 0, reinterpret_cast<const sockaddr *>(&a),
                         sizeof a) < 0)
                ++errors;
            else
                bytes += d.size();
        }
        if (sent < count)
            QThread::msleep(1);
    }
    ::close(fd);
    std::printf("sent %lld bytes %lld errors %lld ms %lld\n", sent, bytes, errors, clock.elapsed());
    return 0;
}
