#pragma once

#include "doctor.h"

// What doctor asks the system, at the edge: each a best effort that says when it can't tell.
namespace cli {

// The programs that hold UDP port 8888 here, "name (pid N)", where the system tells (Linux:
// /proc/net/udp and the sockets among /proc/*/fd); empty otherwise. Asked before lanScout's own
// sockets are open.
QString portHolders();
// The reverse-path filter in effect on an interface (Linux: the higher of "all" and its own);
// -1 where unknown.
int rpFilter(const QString &interfaceName);
// Whether the firewall lets UDP to port 8888 in: nft's ruleset on Linux, the Windows Firewall's
// profiles and inbound rules (through its COM interface) on Windows.
Firewall firewall();

} // namespace cli
