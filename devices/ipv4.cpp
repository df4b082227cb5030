#include "ipv4.h"

#include <QStringList>

std::optional<quint32> parseIpv4(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    quint32 address = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.startsWith(QLatin1Char('0'))))
            return std::nullopt;
        int octet = 0;
        for (const QChar c : part) {
            // Only ASCII digits: QChar::isDigit() would also take other scripts' digits.
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
            octet = octet * 10 + (c.unicode() - '0');
        }
        if (octet > 255)
            return std::nullopt;
        address = (address << 8) | quint32(octet);
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
