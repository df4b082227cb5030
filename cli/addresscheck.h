#pragma once

#include "checks.h"

#include <QString>
#include <QStringList>
#include <QVector>

// Whether a host on the segment already holds an address a device is to take: what the answers
// mean. Pure functions; arpquery.h asks the segment.
namespace cli {

// A MAC as 12 lower-case hex digits, letter case and separators (":", "-", ".") aside; empty
// when the text is not one.
QString macKey(const QString &mac);
bool sameMac(const QString &a, const QString &b); // false when either is not a MAC
// "02:00:00:00:00:01" from any of the forms macKey takes (the text itself when not a MAC).
QString macText(const QString &mac);

struct LocalInterface
{
    QString name;
    int index = 0;    // the system's interface index
    QString mac;      // empty: no hardware address (loopback, tunnels)
    bool arp = false; // ARP runs on it (a broadcast link with a hardware address)
    quint32 address = 0;
    Subnet subnet;
};

// The interface whose subnet holds address, the narrowest where several do; -1 when none does.
int interfaceFor(quint32 address, const QVector<LocalInterface> &locals);

// What the segment said about one address within the wait.
struct ArpResult
{
    enum Kind
    {
        Free,     // no answer
        Answered, // macs answered (or it is this host's own address: detail says so)
        Cached,   // no fresh answer, but the system's neighbour cache holds macs from before
        Unchecked // the check could not run: detail says why
    };
    Kind kind = Unchecked;
    QStringList macs;
    QString detail;
};

struct Verdict
{
    bool refuse = false;
    QString text; // empty: nothing to say
};

// What to do about moving the device with deviceMac to address. Answers from known (the devices
// the search found reporting that address: the plan's own checks cover them) are no conflict.
Verdict conflictVerdict(const QString &address, const QString &deviceMac, const QStringList &known,
                        const ArpResult &result, bool requireFree);

} // namespace cli
