// Any datagram from the LAN: acceptance and parsing must neither crash nor lose the
// shape of what they accepted.
#include "protocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), int(size));
    (void)protocol::datagramText(datagram);
    (void)protocol::isDiscoveryRequest(datagram);
    (void)protocol::parseSetIpCommand(datagram);
    const auto rec = protocol::parseDiscoveryReply(datagram);
    if (!rec)
        return 0;
    // What was accepted, sent again, is accepted again as the same device.
    const auto again = protocol::parseDiscoveryReply(protocol::discoveryReply(*rec));
    if (!again || !(*again == *rec))
        abort();
    return 0;
}
