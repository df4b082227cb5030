#include "testnetwork.h"

#include <QFileInfo>
#include <QStringList>

namespace testnet {

bool insideTestNetwork(QString *why)
{
    auto fail = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (qEnvironmentVariableIsEmpty("LANSCOUT_TESTBED"))
        return fail(QStringLiteral("LANSCOUT_TESTBED is not set (run it through testbed/run-in-testbed)"));
    const QString own = QFileInfo(QStringLiteral("/proc/self/ns/net")).symLinkTarget();
    const QString host = QFileInfo(QStringLiteral("/proc/1/ns/net")).symLinkTarget();
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
