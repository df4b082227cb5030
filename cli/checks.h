#pragma once

#include "devicerecord.h"

#include <QString>
#include <QVector>

#include <optional>

// What is checked before a set-IP command goes out. Pure functions.
namespace cli {

struct Subnet
{
    quint32 network = 0;
    int prefixLength = 0;

    quint32 mask() const { return prefixLength ? ~quint32(0) << (32 - prefixLength) : 0; }
    quint32 broadcast() const { return network | ~mask(); }
    bool contains(quint32 address) const { return (address & mask()) == network; }
    QString text() const; // "198.18.0.0/24"
};
std::optional<Subnet> subnetOf(quint32 address, int prefixLength); // prefix 0 to 32

// The prefix length of a mask whose one bits all come before its zero bits.
std::optional<int> prefixOfMask(quint32 mask);

struct Problem
{
    QString text;
    // Sent anyway with --force. A problem that is not can't be sent at all (a text the protocol
    // can't carry) or has nothing to send to.
    bool forceable = true;
};

// What a check needs to know besides the request.
struct CheckContext
{
    QVector<DeviceRecord> others; // the discovered devices that keep their addresses
    // Every IPv4 subnet of the local interfaces that saw the device (empty: not known).
    QVector<Subnet> localSubnets;
};

// What is wrong with sending request (ipways "static" or "dhcp"); empty when nothing is.
QVector<Problem> checkRequest(const SetIpRequest &request, const CheckContext &context);

} // namespace cli
