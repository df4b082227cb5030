#pragma once

#include "plan.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QVector>

// The journal of address changes: one JSON object a line, only ever appended. A change line is
// written before its command goes out and an outcome line, naming the change's id, once its
// result is known; reading joins them. Pure functions.
namespace cli {

constexpr int JournalFormat = 1;
// The longest text a journal line holds in one field; what a device reported beyond it is cut
// when written, and a longer field read back marks the line as not written by lanscout-cli.
constexpr int JournalMaxField = 4096;
// A longer line is not even parsed.
constexpr int JournalMaxLine = 1 << 20;

struct JournalEntry
{
    int line = 0; // of the change line, from 1
    QString time, id, command;
    QString mac, version;
    DeviceRecord before;    // the nine fields as the device last reported them
    SetIpRequest requested; // ipways and the five settings
    QString problem;        // not empty: why before can't be read back (no undo from it)
    // From the outcome line; empty outcome: none was read (the run did not end, or is running).
    QString outcome, outcomeTime;
    int exit = -1, sends = -1;
};

// The lines, each with its line end. time: ISO 8601 with milliseconds and offset.
QByteArray changeLine(const JournalEntry &entry);
QByteArray outcomeLine(const QString &time, const QString &id, const QString &outcome, int exit, int sends);
QString journalTime(const QDateTime &time);

struct JournalRead
{
    QVector<JournalEntry> entries; // in the order of their change lines, outcomes joined in
    QStringList warnings;          // "line 3: ..." for each line skipped or field ignored
};
JournalRead readJournal(const QByteArray &text);

// The entries of the device with this mac (letter case aside); all for an empty mac.
QVector<JournalEntry> entriesOf(const QVector<JournalEntry> &entries, const QString &mac);

// history: a JSON array of the entries (each change with its outcome), or an aligned table.
QByteArray historyJson(const QVector<JournalEntry> &entries);
QByteArray historyTable(const QVector<JournalEntry> &entries);

// The plan row that puts the device back as the entry found it: its mac (any version), the
// settings of before. An error names the line and the reason when before can't be sent.
PlanRow undoRow(const JournalEntry &entry, QString *error);

} // namespace cli
