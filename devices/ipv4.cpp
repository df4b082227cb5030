#include "ipv4.h"

#include <QStringList>

std::optional<int> octetValue(QStringView text)
{
    if (text.isEmpty() || text.size() > 3)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    return value <= 255 ? std::optional<int>(value) : std::nullopt;
}

std::optional<quint32> parseIpv4(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    quint32 address = 0;
    for (const QString &part : parts) {
        const auto octet = octetValue(part);
        if (!octet || (part.size() > 1 && part.startsWith(QLatin1Char('0'))))
            return std::nullopt;
        address = (address << 8) | quint32(*octet);
    }
    return address;
}

QString ipv4Text(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff);
}

QString Ipv4Subnet::text() const
{
    return ipv4Text(network) + QLatin1Char('/') + QString::number(prefixLength);
}

std::optional<Ipv4Subnet> subnetOf(quint32 address, int prefixLength)
{
    if (prefixLength < 0 || prefixLength > 32)
        return std::nullopt;
    Ipv4Subnet s;
    s.prefixLength = prefixLength;
    s.network = address & s.mask();
    return s;
}
