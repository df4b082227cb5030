#include "testnetwork.h"

#include <QStringList>

#ifdef Q_OS_WIN
#include <qt_windows.h>

#include <cstring>
#else
#include <unistd.h>
#endif

namespace testnet {

namespace {
#ifdef Q_OS_WIN
// Under Wine, whose drive Z: is the Linux root. The links cannot be read from here, but the
// file identity of what they point to is the namespace's inode, as "net:[inode]" names it.
QString namespaceLink(const char *path)
{
    const QString windowsPath =
        QLatin1String("Z:") + QString::fromLatin1(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(windowsPath.utf16()), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return QString();
    FILE_ID_INFO id;
    const bool known = GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id);
    CloseHandle(file);
    quint64 inode = 0;
    std::memcpy(&inode, id.FileId.Identifier, sizeof inode);
    return known && inode ? QStringLiteral("net:[%1]").arg(inode) : QString();
}
#else
QString namespaceLink(const char *path)
{
    char buffer[128];
    const ssize_t n = ::readlink(path, buffer, sizeof buffer - 1);
    return n > 0 ? QString::fromLatin1(buffer, int(n)) : QString();
}
#endif
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
