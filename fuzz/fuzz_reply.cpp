// Any datagram from the LAN: acceptance and parsing must neither crash nor lose the
// shape of what they accepted, and must take exactly what the rule takes.
#include "protocol.h"

#include <QStringList>

#include <cstdlib>

namespace {

// The rule, word for word: the UTF-8 text between "@" and "!", cut at the first NUL, split at
// every "/"; so many parts, the first one the keyword.
std::optional<QStringList> ruleParts(const QByteArray &d, const char *keyword, int parts)
{
    if (d.size() < 3 || d.front() != '@' || d.back() != '!')
        return std::nullopt;
    const QByteArray inner = d.mid(1, d.size() - 2);
    const int nul = inner.indexOf('\0');
    const QStringList p = QString::fromUtf8(nul < 0 ? inner : inner.left(nul)).split(QLatin1Char('/'));
    if (p.size() != parts || p[0] != QLatin1String(keyword))
        return std::nullopt;
    return p.mid(1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), int(size));
    (void)protocol::datagramText(datagram);
    (void)protocol::isDiscoveryRequest(datagram);
    const auto rec = protocol::parseDiscoveryReply(datagram);
    const auto expected = ruleParts(datagram, "qxsrhip", 10);
    if (rec.has_value() != expected.has_value())
        abort();
    const auto command = protocol::parseSetIpCommand(datagram);
    const auto expectedCommand = ruleParts(datagram, "qxsetip", 9);
    if (command.has_value() != expectedCommand.has_value())
        abort();
    if (command &&
        QStringList{command->version, command->mac, command->ipways, command->ipaddr, command->mask,
                    command->gateway, command->dns1, command->dns2} != *expectedCommand)
        abort();
    if (!rec)
        return 0;
    if (QStringList{rec->version, rec->ipways, rec->ipaddr, rec->mask, rec->gateway, rec->mac, rec->dns1,
                    rec->dns2, rec->extra} != *expected)
        abort();
    // What was accepted, sent again, is accepted again as the same device.
    const auto again = protocol::parseDiscoveryReply(protocol::discoveryReply(*rec));
    if (!again || !(*again == *rec))
        abort();
    return 0;
}
