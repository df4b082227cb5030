// history, and undo's look-up in the journal: the commands that read it.

#include "engine.h"
#include "journal.h"
#include "journalfile.h"
#include "run.h"

#include <QDir>

namespace cli {

namespace {

// The entries, each warning said with the file it is about; false (said) when unreadable.
bool load(const QString &path, QVector<JournalEntry> *entries, bool *missing)
{
    QByteArray text;
    QString error;
    if (!readJournalFile(path, &text, missing, &error)) {
        note(error);
        return false;
    }
    const JournalRead read = readJournal(text);
    for (const QString &warning : read.warnings)
        note(QDir::toNativeSeparators(path) + QLatin1String(": ") + warning);
    *entries = read.entries;
    return true;
}

} // namespace

int history(const Options &o)
{
    const QString path = journalPath(o.journalPath);
    QVector<JournalEntry> entries;
    bool missing = false;
    if (!load(path, &entries, &missing))
        return BadInput;
    entries = entriesOf(entries, o.mac);
    out(o.format == Format::Json ? historyJson(entries) : historyTable(entries));
    if (entries.isEmpty())
        note(QStringLiteral("no change in %1%2%3%4")
                 .arg(QDir::toNativeSeparators(path), o.mac.isEmpty() ? QString() : QLatin1String(" of "),
                      o.mac, missing ? QLatin1String(" (there is no such file yet)") : QString()));
    return Verified;
}

QVector<PlanRow> undoRows(const Options &o, int *exit)
{
    const QString path = journalPath(o.journalPath);
    QVector<JournalEntry> entries;
    bool missing = false;
    *exit = BadInput;
    if (!load(path, &entries, &missing))
        return {};
    entries = entriesOf(entries, o.last ? QString() : o.mac);
    if (entries.isEmpty()) {
        note(QStringLiteral("no change %1 in the journal %2, nothing to undo")
                 .arg(o.last ? QString() : QStringLiteral("of %1").arg(o.mac), QDir::toNativeSeparators(path))
                 .simplified());
        *exit = NotFound;
        return {};
    }
    const JournalEntry &e = entries.last();
    QString error;
    const PlanRow row = undoRow(e, &error);
    if (!error.isEmpty()) {
        note(error);
        return {};
    }
    note(QStringLiteral("undoing the change of %1 (line %2, %3): back to %4 %5")
             .arg(e.mac)
             .arg(e.line)
             .arg(e.time, row.request.ipways, row.request.ipaddr)
             .trimmed());
    *exit = Verified;
    return {row};
}

} // namespace cli
