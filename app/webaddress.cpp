#include "webaddress.h"

#include <QStringList>

namespace {

bool isOctet(const QString &part)
{
    if (part.isEmpty() || part.size() > 3)
        return false;
    if (part.size() > 1 && part.at(0) == QLatin1Char('0'))
        return false;
    int value = 0;
    for (const QChar c : part) {
        // Only ASCII digits: QChar::isDigit() would also take other scripts' digits.
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + (c.unicode() - '0');
    }
    return value <= 255;
}

} // namespace

bool isPlainIpv4Address(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString &part : parts) {
        if (!isOctet(part))
            return false;
    }
    return true;
}
