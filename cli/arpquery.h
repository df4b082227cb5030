#pragma once

#include "addresscheck.h"

// Asks the segment by ARP whether a host holds an address: the system's side of addresscheck.h.
namespace cli {

// This host's IPv4 addresses on the interfaces that are up, each with its subnet.
QVector<LocalInterface> localInterfaces();

// For every address, on the local interface whose subnet holds it: who answers ARP for it. All
// are asked at once and share one wait of at most waitMs.
//
// Linux: with CAP_NET_RAW an ARP request of its own on a packet socket, which hears every host
// that answers whatever the neighbour cache holds; without, the kernel's own resolution (an
// empty UDP datagram to the address) read back from the neighbour table through rtnetlink. An
// entry the kernel had before and does not confirm within the wait decides nothing (Cached).
// Windows: SendARP, one thread per address.
QVector<ArpResult> askSegment(const QVector<quint32> &addresses, int waitMs);

// A static address a device is to take: line (0 outside a plan) for the messages, the device's
// MAC, and those of the other devices the search found reporting the address.
struct AddressClaim
{
    int line = 0;
    QString address, deviceMac;
    QStringList known;
};
// Asks for every claim at once (one wait of 1 s) and says on standard error what it found. True
// when that refuses the run, every reason said, and "nothing sent".
bool addressesInUse(const QVector<AddressClaim> &claims, bool requireFree);

} // namespace cli
