// The set-IP command carries back texts a device reported: whatever they hold (bar the
// field separator, which cannot arrive inside a field), the device must get them back
// byte for byte.
#include "protocol.h"

#include <QList>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Eight fields, separated by NUL in the input.
    QList<QByteArray> parts = QByteArray(reinterpret_cast<const char *>(data), int(size)).split('\0');
    while (parts.size() < 8)
        parts.append(QByteArray());
    SetIpRequest r;
    QString *fields[] = {&r.version, &r.mac, &r.ipways, &r.ipaddr, &r.mask, &r.gateway, &r.dns1, &r.dns2};
    for (int i = 0; i < 8; ++i) {
        *fields[i] = QString::fromUtf8(parts[i]);
        if (fields[i]->contains(QLatin1Char('/')))
            return 0;
    }
    const QByteArray datagram = protocol::setIpCommand(r);
    if (!datagram.startsWith("@qxsetip/") || !datagram.endsWith('!'))
        abort();
    // Texts for texts: the two records differ in nothing else (no extra field, count 0).
    const auto back = protocol::parseSetIpCommand(datagram);
    if (!back || *back != r)
        abort();
    // A reply is never taken for a command, nor the other way round.
    if (protocol::parseDiscoveryReply(datagram))
        abort();
    return 0;
}
