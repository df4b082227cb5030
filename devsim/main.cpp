// lanscout-devsim: simulated devices for demos, tests and firmware work. See usage().

#include "simdevices.h"
#include "simulator.h"
#include "testnetwork.h"

#include <QCoreApplication>
#include <QNetworkInterface>
#include <QTimer>

#include <cstdio>

namespace {

// The subnet of the first IPv4 address of this namespace (the LAN side of the test bed).
devsim::Subnet lanSubnet()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        if (!(iface.flags() & QNetworkInterface::IsUp) || (iface.flags() & QNetworkInterface::IsLoopBack))
            continue;
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            // Very small or very large subnets: use the nearest size there is room in.
            if (auto subnet = devsim::Subnet::containing(entry.ip().toIPv4Address(),
                                                         qBound(8, entry.prefixLength(), 28)))
                return *subnet;
        }
    }
    std::fprintf(stderr, "lanscout-devsim: no IPv4 address here; the devices use 192.0.2.0/24\n");
    return *devsim::Subnet::fromText(QStringLiteral("192.0.2.0/24"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const devsim::ParsedOptions parsed = devsim::parseOptions(QCoreApplication::arguments());
    if (parsed.help) {
        std::fputs(qUtf8Printable(devsim::usage()), stdout);
        return 0;
    }
    // Ends here, before the namespace check and any socket: safe anywhere.
    if (parsed.version) {
        std::fputs("lanscout-devsim " LANSCOUT_VERSION "\n", stdout);
        return 0;
    }
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "lanscout-devsim: %s\n\n%s", qUtf8Printable(parsed.error),
                     qUtf8Printable(devsim::usage()));
        return 2;
    }
    const devsim::Options &options = parsed.options;

    // The devices broadcast and answer broadcasts: they belong in the test bed's private network
    // namespaces, never on the machine's own network.
    QString why;
    if (!options.allowRealNetwork && !testnet::insideTestNetwork(&why)) {
        std::fprintf(stderr,
                     "lanscout-devsim: refusing to run: %s.\n"
                     "Run it in a private network namespace, e.g. through testbed/run-in-testbed.\n",
                     qUtf8Printable(why));
        return 3;
    }

    Simulator simulator(options, options.subnet ? *options.subnet : lanSubnet());
    if (!simulator.start(&why)) {
        std::fprintf(stderr, "lanscout-devsim: %s\n", qUtf8Printable(why));
        return 1;
    }
    if (options.lifetimeS > 0)
        QTimer::singleShot(options.lifetimeS * 1000, &app, &QCoreApplication::quit);
    return app.exec();
}
