#include "checks.h"

#include "format.h"
#include "ipv4.h"

#include <QStringList>

namespace cli {

namespace {

// The fields the user gives: the protocol splits at "/", and a NUL ends the text.
bool carriable(const QString &text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

} // namespace

std::optional<int> prefixOfMask(quint32 mask)
{
    const quint32 hosts = ~mask;
    if ((hosts & (hosts + 1)) != 0) // the host part must be 0...01...1
        return std::nullopt;
    int prefix = 32;
    for (quint32 h = hosts; h; h >>= 1)
        --prefix;
    return prefix;
}

QVector<Problem> checkRequest(const SetIpRequest &r, const CheckContext &context)
{
    QVector<Problem> problems;
    const std::pair<const char *, const QString *> given[] = {{"address", &r.ipaddr},
                                                              {"mask", &r.mask},
                                                              {"gateway", &r.gateway},
                                                              {"dns1", &r.dns1},
                                                              {"dns2", &r.dns2}};
    const bool isStatic = r.ipways == QLatin1String("static");
    bool malformed = false;
    for (const auto &[name, text] : given) {
        const bool required = text == &r.ipaddr || text == &r.mask;
        if (!carriable(*text)) {
            problems << Problem{QStringLiteral("the %1 holds \"/\" or a control character, which the set-IP "
                                               "command can't carry")
                                    .arg(QLatin1String(name)),
                                false};
            malformed = true;
        } else if (isStatic && (required || !text->isEmpty()) && !parseIpv4(*text)) {
            problems << Problem{QStringLiteral("the %1 %2 is not a dotted IPv4 address")
                                    .arg(QLatin1String(name), quoted(*text))};
            malformed = true;
        }
    }
    if (!isStatic || malformed)
        return problems;

    const quint32 address = *parseIpv4(r.ipaddr);
    const auto prefix = prefixOfMask(*parseIpv4(r.mask));
    if (!prefix) {
        problems << Problem{
            QStringLiteral("the mask %1 is not contiguous (its one bits must all come first)").arg(r.mask)};
        return problems;
    }
    const Subnet subnet = *subnetOf(address, *prefix);
    if (*prefix == 0 || *prefix > 30)
        problems << Problem{
            QStringLiteral("the mask %1 leaves no room for a device and a gateway").arg(r.mask)};
    else if (address == subnet.network)
        problems << Problem{QStringLiteral("%1 is the network address of %2").arg(r.ipaddr, subnet.text())};
    else if (address == subnet.broadcast())
        problems << Problem{QStringLiteral("%1 is the broadcast address of %2").arg(r.ipaddr, subnet.text())};
    if (!r.gateway.isEmpty() && !subnet.contains(*parseIpv4(r.gateway)))
        problems << Problem{
            QStringLiteral("the gateway %1 is outside the new subnet %2").arg(r.gateway, subnet.text())};
    for (const DeviceRecord &other : context.others) {
        if (parseIpv4(other.ipaddr) == address) {
            problems << Problem{QStringLiteral("%1 is held by another device (%2 %3)")
                                    .arg(r.ipaddr, other.mac, other.version)};
            break;
        }
    }
    bool reachable = context.localSubnets.isEmpty();
    for (const Subnet &local : context.localSubnets)
        reachable = reachable || local.contains(address);
    if (!reachable) {
        QStringList locals;
        for (const Subnet &local : context.localSubnets)
            locals << local.text();
        problems << Problem{QStringLiteral("%1 is outside every subnet of the interface that sees the device "
                                           "(%2): it would be out of reach from here")
                                .arg(r.ipaddr, locals.join(QLatin1String(", ")))};
    }
    return problems;
}

} // namespace cli
