#pragma once

#include <QByteArray>
#include <QString>

// The journal on disk. Lines are appended whole: one write under an exclusive lock of the file
// (flock on Unix, LockFileEx on Windows), then flushed to the disk, so that two processes
// writing at once never interleave and a line written stays written.
namespace cli {

// --journal's path if given, else LANSCOUT_JOURNAL, else the state folder of the platform:
// $XDG_STATE_HOME/lanscout/journal.jsonl (~/.local/state/...), %LOCALAPPDATA%\lanScout\journal.jsonl.
QString journalPath(const QString &option);

class JournalFile
{
public:
    explicit JournalFile(const QString &path) : m_path(path) {}
    ~JournalFile();
    JournalFile(const JournalFile &) = delete;
    JournalFile &operator=(const JournalFile &) = delete;

    // Creates the folder and opens the file for appending; false with *error said otherwise.
    bool open(QString *error);
    // One line with its line end. A line left without its end (a write cut short) is ended
    // first, so that the new line stays readable.
    bool append(const QByteArray &line, QString *error);
    const QString &path() const { return m_path; }

private:
    QString m_path;
#ifdef Q_OS_WIN
    void *m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

// The whole file; a missing file is empty (missing set), not an error.
bool readJournalFile(const QString &path, QByteArray *text, bool *missing, QString *error);

} // namespace cli
