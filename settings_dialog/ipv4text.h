#pragma once

#include <QString>

#include <array>

// Dotted IPv4 text as the address editor reads and writes it. Plain functions without any
// widget, so they can be tested and fuzzed on their own.

using Ipv4Octets = std::array<quint8, 4>;
using Ipv4Fields = std::array<QString, 4>;

// The four octets to show for a dotted text. Text that is not exactly four dot-separated
// parts gives 0.0.0.0; a part that is not a base-10 number up to 255 gives 0 for that octet.
Ipv4Octets octetsFromText(const QString &text);

// The fields joined with dots, or empty (non-null) text when any field is empty. The field
// texts are taken as they stand.
QString joinOctetFields(const Ipv4Fields &fields);

// What the editor makes of the text of one octet field while it is being typed.
enum class OctetInput
{
    Empty,   // nothing yet: allowed, but the address is incomplete
    Valid,   // one to three ASCII digits with a value of at most 255
    Refused, // anything else: a sign, a separator, a fourth digit, a value above 255
};
OctetInput checkOctetInput(const QString &text);
