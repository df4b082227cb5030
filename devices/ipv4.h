#pragma once

#include <QString>

#include <optional>

// Strict dotted decimal IPv4: four parts, each one to three ASCII digits up to 255 with no
// leading zero ("010" is octal to some readers, so it would not name the address it seems to).
std::optional<quint32> parseIpv4(const QString &text);
QString ipv4Text(quint32 address);
