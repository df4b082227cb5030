// The address editor shows whatever address text a device reported. Any text gives four
// octets; joined back they make a text that reads as the same four octets.
#include "ipv4text.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const Ipv4Octets octets = octetsFromText(text);
    Ipv4Fields fields;
    for (int i = 0; i < 4; ++i)
        fields[size_t(i)] = QString::number(octets[size_t(i)]);
    const QString joined = joinOctetFields(fields);
    if (octetsFromText(joined) != octets)
        abort();
    for (const QString &field : fields)
        if (checkOctetInput(field) != OctetInput::Valid)
            abort();
    // A typed field: never accepted above 255 or with anything but digits.
    const OctetInput input = checkOctetInput(text);
    if (input == OctetInput::Valid) {
        bool ok = false;
        const uint value = text.toUInt(&ok);
        if (!ok || value > 255 || text.size() > 3)
            abort();
    }
    if (joinOctetFields({text, text, text, text}).isNull())
        abort();
    return 0;
}
