#pragma once

#include <QString>

// True only for a plain dotted IPv4 address: exactly four parts separated by dots, each one
// to three ASCII digits with a value of at most 255 and no leading zero (a lone "0" is
// fine). Nothing else is allowed: no blanks, no port, no path, no user part, no host name.
// A device's reply is not authenticated, so its address text must pass this before the
// program hands a URL built from it to the browser. Leading zeros are refused because some
// parsers read such parts as octal, so "010" would not name the address it seems to.
bool isPlainIpv4Address(const QString &text);
