#include "testnetwork.h"

#include <QStringList>

#include <unistd.h>

namespace testnet {

namespace {
QString namespaceLink(const char *path)
{
    char buffer[128];
    const ssize_t n = ::readlink(path, buffer, sizeof buffer - 1);
    return n > 0 ? QString::fromLatin1(buffer, int(n)) : QString();
}
} // namespace

bool insideTestNetwork(QString *why)
{
    auto fail = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (qEnvironmentVariableIsEmpty("LANSCOUT_TESTBED"))
        return fail(QStringLiteral("LANSCOUT_TESTBED is not set (run it through testbed/run-in-testbed)"));
    // The raw link texts ("net:[inode]"): QFileInfo would resolve them into paths that
    // never compare equal.
    const QString own = namespaceLink("/proc/self/ns/net");
    const QString host = namespaceLink("/proc/1/ns/net");
    if (own.isEmpty() || host.isEmpty())
        return fail(QStringLiteral("cannot read the network namespace links in /proc"));
    if (own == host)
        return fail(QStringLiteral("this process is in the machine's own network namespace"));
    return true;
}

QString lanNamespace()
{
    return qEnvironmentVariable("LANSCOUT_LAN_NS");
}

QStringList hostAddresses()
{
    return qEnvironmentVariable("LANSCOUT_HOST_ADDRS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace testnet
