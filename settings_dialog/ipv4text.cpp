#include "ipv4text.h"

#include "ipv4.h"

#include <QStringList>

Ipv4Octets octetsFromText(const QString &text)
{
    // Not parseIpv4(), on purpose: the editor shows whatever a device reported, as far as it can
    // ("010" as 10, a bad part as 0), where parseIpv4() refuses any text that is not plainly one
    // address. What is typed is checked octet by octet (checkOctetInput()).
    Ipv4Octets octets{0, 0, 0, 0};
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 4)
        return octets;
    for (int i = 0; i < 4; ++i) {
        // A failed conversion yields 0, which is the octet we want for it anyway.
        const uint value = parts.at(i).toUInt(nullptr, 10);
        if (value <= 255)
            octets[size_t(i)] = quint8(value);
    }
    return octets;
}

QString joinOctetFields(const Ipv4Fields &fields)
{
    QString joined(QLatin1String("")); // callers tell empty from null
    for (const QString &field : fields) {
        if (field.isEmpty())
            return QString(QLatin1String(""));
    }
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            joined += QLatin1Char('.');
        joined += fields[i];
    }
    return joined;
}

OctetInput checkOctetInput(const QString &text)
{
    // Only ASCII digits: the text goes to the device as it stands.
    if (text.isEmpty())
        return OctetInput::Empty;
    return octetValue(text) ? OctetInput::Valid : OctetInput::Refused;
}
