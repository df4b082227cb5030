#include "journalfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace cli {

namespace {

QString failure(const QString &what, const QString &path)
{
    return QStringLiteral("cannot %1 %2: %3").arg(what, QDir::toNativeSeparators(path), qt_error_string());
}

bool makeFolder(const QString &path, QString *error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (QDir().mkpath(folder))
        return true;
    *error = QStringLiteral("cannot create the folder %1 of the journal").arg(QDir::toNativeSeparators(folder));
    return false;
}

#ifndef Q_OS_WIN
template <typename Call> auto retried(Call call)
{
    decltype(call()) r;
    while ((r = call()) < 0 && errno == EINTR) {
    }
    return r;
}
#endif

} // namespace

QString journalPath(const QString &option)
{
    if (!option.isEmpty())
        return option;
    const QString set = qEnvironmentVariable("LANSCOUT_JOURNAL");
    if (!set.isEmpty())
        return set;
#ifdef Q_OS_WIN
    QString base = qEnvironmentVariable("LOCALAPPDATA");
    if (base.isEmpty())
        base = QDir::homePath() + QLatin1String("/AppData/Local");
    return QDir::fromNativeSeparators(base) + QLatin1String("/lanScout/journal.jsonl");
#else
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base)) // a relative one is to be ignored
        base = QDir::homePath() + QLatin1String("/.local/state");
    return base + QLatin1String("/lanscout/journal.jsonl");
#endif
}

#ifdef Q_OS_WIN

JournalFile::~JournalFile()
{
    if (m_handle)
        CloseHandle(m_handle);
}

bool JournalFile::open(QString *error)
{
    if (!makeFolder(m_path, error))
        return false;
    const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(m_path).utf16()),
                                 FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = failure(QStringLiteral("open"), m_path);
        return false;
    }
    m_handle = h;
    return true;
}

bool JournalFile::append(const QByteArray &line, QString *error)
{
    const HANDLE h = m_handle;
    // A byte far past any end is the lock: one on the data itself would fail readers' reads.
    OVERLAPPED lock = {};
    lock.OffsetHigh = MAXDWORD;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock)) {
        *error = failure(QStringLiteral("lock"), m_path);
        return false;
    }
    QByteArray bytes = line;
    LARGE_INTEGER size = {};
    char last = '\n';
    DWORD read = 0;
    OVERLAPPED at = {};
    if (GetFileSizeEx(h, &size) && size.QuadPart > 0) {
        at.Offset = DWORD(size.QuadPart - 1), at.OffsetHigh = DWORD((size.QuadPart - 1) >> 32);
        if (ReadFile(h, &last, 1, &read, &at) && read == 1 && last != '\n')
            bytes.prepend('\n');
    }
    DWORD written = 0;
    // Opened for appending only: the write goes to the end, whatever the file pointer.
    const bool ok = WriteFile(h, bytes.constData(), DWORD(bytes.size()), &written, nullptr) &&
                    written == DWORD(bytes.size()) && FlushFileBuffers(h);
    if (!ok)
        *error = failure(QStringLiteral("write"), m_path);
    UnlockFileEx(h, 0, 1, 0, &lock);
    return ok;
}

#else

JournalFile::~JournalFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool JournalFile::open(QString *error)
{
    if (!makeFolder(m_path, error))
        return false;
    const QByteArray name = QFile::encodeName(m_path);
    m_fd = retried(
        [&] { return ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644); });
    if (m_fd >= 0) {
        // A new file's name must reach the disk as well as its lines.
        const QByteArray folder = QFile::encodeName(QFileInfo(m_path).absolutePath());
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0)
            ::fsync(dir), ::close(dir);
    } else if (errno == EEXIST) {
        m_fd = retried([&] { return ::open(name.constData(), O_RDWR | O_APPEND | O_CLOEXEC); });
    }
    if (m_fd < 0)
        *error = failure(QStringLiteral("open"), m_path);
    return m_fd >= 0;
}

bool JournalFile::append(const QByteArray &line, QString *error)
{
    // flock, not fcntl: its lock belongs to this open file, so it also keeps apart two writers
    // of one process.
    if (retried([&] { return ::flock(m_fd, LOCK_EX); }) != 0) {
        *error = failure(QStringLiteral("lock"), m_path);
        return false;
    }
    QByteArray bytes = line;
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    char last = '\n';
    if (end > 0 && ::pread(m_fd, &last, 1, end - 1) == 1 && last != '\n')
        bytes.prepend('\n');
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            retried([&] { return ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done)); });
        if (n <= 0)
            break;
        done += n;
    }
    const bool ok = done == bytes.size() && ::fsync(m_fd) == 0;
    if (!ok)
        *error = failure(QStringLiteral("write"), m_path);
    ::flock(m_fd, LOCK_UN);
    return ok;
}

#endif

bool readJournalFile(const QString &path, QByteArray *text, bool *missing, QString *error)
{
    QFile file(path);
    *missing = !file.exists();
    text->clear();
    if (*missing)
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    *text = file.readAll();
    return true;
}

} // namespace cli
