#pragma once

#include "devicetable.h"

#include <QByteArray>
#include <QDateTime>
#include <QPair>

// What the command line prints. Pure functions; the texts are UTF-8.
namespace cli {

enum class Format
{
    Table,
    Json,
    Csv,
    Text,
    Jsonl
};

// The text as a terminal should show it: control characters (TAB too), bidirectional overrides
// and other invisible format characters written as escapes ("\x1b", "\t", "\u202e", and above
// U+FFFF eight digits: "\U000e0041"), so that what a device sends can neither drive the terminal
// nor reorder, hide or forge what is shown. Whole code points are judged, not UTF-16 halves.
QString plainText(const QString &text);
// What a message quotes of the input, which may be megabytes: in double quotes, as plainText()
// shows it, cut to its first max code points ("..." and the full length marking a cut).
QString quoted(const QString &text, int max = 40);
// A value of a text line (watch): plainText(), quoted when it is empty or holds a quote or any
// blank, U+00A0 and U+3000 as much as a space, so that no value reads as two words.
QString textValue(const QString &text);
// The columns a terminal gives the text: none for combining marks, two for wide characters.
int displayWidth(const QString &text);

QByteArray jsonString(const QString &text);
// An object of the given members, in order; the values are JSON already.
QByteArray jsonObject(const QVector<QPair<QString, QByteArray>> &members);
// The nine fields and "seen_on"; with notes also "conflicts" and "reachable".
QByteArray deviceJson(const Device &device);
QByteArray devicesJson(const QVector<Device> &devices);

// True when a spreadsheet would take a cell of this text for a formula: it starts with =, +, -,
// @, TAB or CR.
bool startsLikeFormula(const QString &text);
// RFC 4180: a field holding a comma, a double quote, a line break or another control character
// is quoted, its quotes doubled; records end in CR LF. A field that startsLikeFormula() gets a
// ' in front, as spreadsheets mark text themselves, so that opening the file runs nothing.
QByteArray csvRecord(const QStringList &fields);
// list's CSV: the reply fields, seen_on, conflicts and reachable. For a terminal the fields as
// plainText() shows them; otherwise as the devices sent them.
QByteArray devicesCsv(const QVector<Device> &devices, bool forTerminal);

// Columns aligned for a terminal, cells as plainText() shows them, all but the last cut to a width.
QByteArray textTable(const QStringList &header, const QVector<QStringList> &rows);
QByteArray devicesTable(const QVector<Device> &devices);

// "198.18.0.1 (eth0); 198.18.1.1 (eth1)"
QString seenOnText(const QVector<SeenOn> &seenOn);

enum class Event
{
    Added,
    Changed,
    Removed
};
// One line of watch, with its line end. Changed: fields as DeviceTable names them, was the record before.
// watch's line for an address that two or more now hold ("conflict"), or fewer than two again
// ("resolved"), with its holders: MACs, and "host" for this host.
QByteArray conflictLine(Format format, const QDateTime &time, const QString &ipaddr,
                        const QStringList &holders);
QByteArray eventLine(Format format, const QDateTime &time, Event event, const Device &device,
                     const QStringList &fields = {}, const DeviceRecord &was = {});

} // namespace cli
