#pragma once

#include "devicerecord.h"
#include "ipv4.h"

#include <QString>
#include <QVector>

#include <optional>

// What is checked before a set-IP command goes out. Pure functions.
namespace cli {

using Subnet = Ipv4Subnet;

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
