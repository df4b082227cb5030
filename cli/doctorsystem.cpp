#include "doctorsystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <netfw.h>
#include <windows.h>
#endif

namespace cli {

namespace {

QByteArray readSmall(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(1 << 20) : QByteArray();
}

} // namespace

QString portHolders()
{
#ifdef Q_OS_LINUX
    // "sl local_address rem_address st ... uid timeout inode": the sockets of port 8888 (22B8).
    QSet<QByteArray> inodes;
    for (const QByteArray &line : readSmall(QStringLiteral("/proc/net/udp")).split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 9 && fields[1].endsWith(":22B8"))
            inodes << "socket:[" + fields[9] + ']';
    }
    QStringList holders;
    const QString self = QString::number(QCoreApplication::applicationPid());
    const auto pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    for (const QString &pid : pids) {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        const auto entries = fds.entryList(QDir::Files | QDir::System);
        const bool holds =
            pid != self && std::any_of(entries.begin(), entries.end(), [&](const QString &fd) {
                return inodes.contains(
                    QFile::symLinkTarget(fds.filePath(fd)).section(QLatin1Char('/'), -1).toUtf8());
            });
        if (holds)
            holders << QStringLiteral("%1 (pid %2)")
                           .arg(QString::fromUtf8(
                                    readSmall(QStringLiteral("/proc/%1/comm").arg(pid)).trimmed()),
                                pid);
    }
    return holders.join(QLatin1String(", "));
#else
    return QString();
#endif
}

int rpFilter(const QString &interfaceName)
{
#ifdef Q_OS_LINUX
    bool ok1 = false, ok2 = false;
    const auto value = [](const QString &name, bool *ok) {
        return readSmall(QStringLiteral("/proc/sys/net/ipv4/conf/%1/rp_filter").arg(name))
            .trimmed()
            .toInt(ok);
    };
    const int all = value(QStringLiteral("all"), &ok1), own = value(interfaceName, &ok2);
    return ok1 && ok2 ? std::max(all, own) : -1;
#else
    Q_UNUSED(interfaceName);
    return -1;
#endif
}

#ifdef Q_OS_WIN
namespace {

// netfw.h's class and interface, spelled out: MinGW's import libraries lack them.
const CLSID PolicyClass = {0xe2b3c97f, 0x6ae1, 0x41ac, {0x81, 0x7a, 0xf6, 0xf9, 0x21, 0x66, 0xd7, 0xdd}};
const IID PolicyInterface = {0x98325047, 0xc671, 0x4174, {0x8d, 0x81, 0xde, 0xfc, 0xd3, 0xf0, 0x31, 0x86}};
const IID RuleInterface = {0xaf230d27, 0xbaba, 0x4e42, {0xac, 0xed, 0xf5, 0x24, 0xf2, 0x2c, 0xfc, 0xe2}};

QString text(BSTR b)
{
    QString s = b ? QString::fromWCharArray(b) : QString();
    SysFreeString(b);
    return s;
}

// Whether an enabled inbound rule allows UDP to this program or to port 8888; -1 when the rules
// can't be read.
int allowingRule(INetFwPolicy2 *policy, long profiles)
{
    INetFwRules *rules = nullptr;
    IUnknown *unknown = nullptr;
    IEnumVARIANT *each = nullptr;
    int found = -1;
    const QString program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    if (SUCCEEDED(policy->get_Rules(&rules)) && SUCCEEDED(rules->get__NewEnum(&unknown)) &&
        SUCCEEDED(unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void **>(&each)))) {
        found = 0;
        VARIANT v;
        VariantInit(&v);
        while (!found && each->Next(1, &v, nullptr) == S_OK) {
            INetFwRule *rule = nullptr;
            if (v.vt == VT_DISPATCH &&
                SUCCEEDED(v.pdispVal->QueryInterface(RuleInterface, reinterpret_cast<void **>(&rule)))) {
                VARIANT_BOOL enabled = VARIANT_FALSE;
                NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_OUT;
                NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
                long protocol = 0, ruleProfiles = 0;
                BSTR app = nullptr, ports = nullptr;
                rule->get_Enabled(&enabled);
                rule->get_Direction(&direction);
                rule->get_Action(&action);
                rule->get_Protocol(&protocol);
                rule->get_Profiles(&ruleProfiles);
                rule->get_ApplicationName(&app);
                rule->get_LocalPorts(&ports);
                const QString appName = text(app), localPorts = text(ports);
                const bool forUs = appName.isEmpty()
                                       ? localPorts.split(QLatin1Char(',')).contains(QStringLiteral("8888"))
                                       : appName.compare(program, Qt::CaseInsensitive) == 0;
                found = enabled == VARIANT_TRUE && direction == NET_FW_RULE_DIR_IN &&
                        action == NET_FW_ACTION_ALLOW &&
                        (protocol == NET_FW_IP_PROTOCOL_UDP || protocol == 256 /* any */) &&
                        (ruleProfiles & profiles) && forUs;
                rule->Release();
            }
            VariantClear(&v);
        }
    }
    for (IUnknown *p : {static_cast<IUnknown *>(each), unknown, static_cast<IUnknown *>(rules)})
        if (p)
            p->Release();
    return found;
}

} // namespace
#endif

Firewall firewall()
{
#ifdef Q_OS_WIN
    const QString program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    const QString advice = QStringLiteral("Allow it (as administrator): netsh advfirewall firewall add rule "
                                          "name=\"lanScout\" dir=in action=allow protocol=UDP localport=8888 "
                                          "program=\"%1\"")
                               .arg(program);
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INetFwPolicy2 *policy = nullptr;
    Firewall result{FirewallState::Unknown, QStringLiteral("the firewall's COM interface does not answer"),
                    advice};
    if (SUCCEEDED(CoCreateInstance(PolicyClass, nullptr, CLSCTX_INPROC_SERVER, PolicyInterface,
                                   reinterpret_cast<void **>(&policy)))) {
        long profiles = 0;
        if (SUCCEEDED(policy->get_CurrentProfileTypes(&profiles))) {
            QStringList active;
            bool enabledAny = false;
            for (const auto &p : {std::make_pair(NET_FW_PROFILE2_DOMAIN, "domain"),
                                  std::make_pair(NET_FW_PROFILE2_PRIVATE, "private"),
                                  std::make_pair(NET_FW_PROFILE2_PUBLIC, "public")}) {
                VARIANT_BOOL enabled = VARIANT_FALSE;
                if ((profiles & p.first) && SUCCEEDED(policy->get_FirewallEnabled(p.first, &enabled))) {
                    active << QLatin1String(p.second);
                    enabledAny = enabledAny || enabled == VARIANT_TRUE;
                }
            }
            const int allowed = enabledAny ? allowingRule(policy, profiles) : 1;
            const QString profile = active.join(QLatin1String(", "));
            if (allowed == 1)
                result = {FirewallState::Open, profile, {}};
            else if (allowed == 0)
                result = {FirewallState::Blocks,
                          QStringLiteral(
                              "the %1 profile is on and no inbound rule allows UDP to this program or to "
                              "port 8888")
                              .arg(profile),
                          advice};
            else
                result.detail = QStringLiteral("the rules of the %1 profile could not be read").arg(profile);
        }
        policy->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return result;
#elif defined(Q_OS_LINUX)
    const QString nft =
        QStandardPaths::findExecutable(QStringLiteral("nft")).isEmpty()
            ? QStandardPaths::findExecutable(QStringLiteral("nft"),
                                             {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
            : QStandardPaths::findExecutable(QStringLiteral("nft"));
    if (nft.isEmpty())
        return {
            FirewallState::Unknown, QStringLiteral("nft is not installed, so the rules can't be read"), {}};
    QProcess process;
    process.start(nft, {QStringLiteral("-j"), QStringLiteral("list"), QStringLiteral("ruleset")});
    if (!process.waitForFinished(3000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        const QString why = QString::fromLocal8Bit(process.readAllStandardError()).simplified().left(120);
        return {FirewallState::Unknown,
                QStringLiteral("nft can't list the ruleset%1")
                    .arg(why.isEmpty() ? QString() : QStringLiteral(" (") + why + QLatin1Char(')')),
                {}};
    }
    return nftFirewall(process.readAllStandardOutput());
#else
    return {FirewallState::Unknown, QStringLiteral("not looked into on this system"), {}};
#endif
}

} // namespace cli
