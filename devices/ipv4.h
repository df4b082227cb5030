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
