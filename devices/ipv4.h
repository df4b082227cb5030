#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// One to three ASCII digits with a value up to 255 (QChar::isDigit() would also take other
// scripts' digits), leading zeros allowed; nothing otherwise.
std::optional<int> octetValue(QStringView text);

// Strict dotted decimal IPv4: four octets, none with a leading zero ("010" is octal to some
// readers, so it would not name the address it seems to).
std::optional<quint32> parseIpv4(const QString &text);
QString ipv4Text(quint32 address);

// An IPv4 subnet: its network address (host part zero) and prefix length.
struct Ipv4Subnet
{
    quint32 network = 0;
    int prefixLength = 0;

    quint32 mask() const { return prefixLength ? ~quint32(0) << (32 - prefixLength) : 0; }
    quint32 broadcast() const { return network | ~mask(); }
    // The number of addresses (0 for /0, whose 2^32 don't fit).
    quint32 size() const { return ~mask() + 1; }
    // The address with the given host part (1 .. size() - 2).
    quint32 host(quint32 hostPart) const { return network | hostPart; }
    bool contains(quint32 address) const { return (address & mask()) == network; }
    QString text() const; // "198.18.0.0/24"
};
// The subnet address is in; prefix 0 to 32, nothing otherwise.
std::optional<Ipv4Subnet> subnetOf(quint32 address, int prefixLength);
