#pragma once

#include "format.h"
#include "plan.h"

#include <QSet>

#include <optional>

// A site's baseline: a snapshot of the devices found, kept in a file, and how the devices found
// later differ from it. Pure functions, but for readSnapshotFile().
namespace cli {

constexpr int SnapshotFormat = 1;
// Larger files are refused unread: 64 MiB hold some 150,000 devices as list writes them.
constexpr qint64 SnapshotMaxBytes = qint64(64) << 20;
// A longer text in a field marks the file as not written by lanscout-cli.
constexpr int SnapshotMaxField = 4096;

struct HostInterface
{
    QString name;
    QStringList addresses; // "198.18.0.1/24"
};

struct Snapshot
{
    QString taken; // ISO 8601
    QString hostName;
    QVector<HostInterface> interfaces;
    QVector<Device> devices; // as list gives them, notes included
};

// The device a MAC names, whatever its letter case and separators: "02:00:0A:00:00:01",
// "02-00-0a-00-00-01" and "0200.0a00.0001" give one key.
QString deviceKey(const QString &mac);

QByteArray snapshotJson(const Snapshot &snapshot);
// The snapshot in bytes that name calls; nothing, with *error naming name and the line and
// column or the entry at fault, when it is not one lanscout-cli wrote: not JSON, another
// format_version, an entry malformed, a field too long, two entries of one MAC.
std::optional<Snapshot> readSnapshot(const QByteArray &bytes, const QString &name, QString *error);
// The same from a file, refused unread when larger than SnapshotMaxBytes.
std::optional<Snapshot> readSnapshotFile(const QString &path, QString *error);
// The IPv4 addresses of the snapshot's host.
QSet<quint32> hostAddressesOf(const Snapshot &snapshot);

struct SnapshotDiff
{
    struct Moved
    {
        Device device; // now
        QString from, to;
    };
    struct Changed
    {
        Device device; // now
        QString field, before, after;
    };
    struct Conflict
    {
        QString ipaddr;
        QStringList holders; // MACs, and hostHolder() for the host
    };
    QVector<Device> missing, added; // as the baseline had them; as found now
    QVector<Moved> moved;
    QVector<Changed> changed;    // reply fields but mac and ipaddr, one entry a field
    QVector<Conflict> conflicts; // addresses held by two or more now, not so in the baseline
    bool isEmpty() const;
};
// Devices are matched by deviceKey(); of two devices of one MAC in now (one that changed its version
// lingers until it ages out) the one that replied last counts.
SnapshotDiff diffSnapshots(const Snapshot &baseline, const Snapshot &now);
QByteArray diffJson(const SnapshotDiff &diff);
QByteArray diffText(const SnapshotDiff &diff); // one line a difference; empty when none

// watch --baseline: what the devices found mean against the baseline, as they come and go.
enum class BaselineEvent
{
    Missing,  // not found by the end of the first full search, or gone later
    Returned, // found again after it was missing
    New,      // a MAC the baseline does not hold
    Moved     // at another address than the one last told (the baseline's at first)
};
class BaselineWatch
{
public:
    explicit BaselineWatch(const QVector<Device> &baseline);
    struct Event
    {
        BaselineEvent kind;
        Device device; // Missing: as the baseline has it
        QString from;  // Moved
    };
    QVector<Event> added(const Device &device);
    QVector<Event> changed(const Device &device);
    QVector<Event> removed(const Device &device);
    // The first full search is over: every baseline device not found is missing.
    QVector<Event> searched();

private:
    struct Entry
    {
        Device baseline;
        QString address; // the last told
        int present = 0; // devices of this MAC in the list (versions apart)
        bool missing = false;
    };
    Entry *entry(const Device &device);
    QVector<Event> moved(Entry &e, const Device &device);

    QHash<QString, int> m_index; // by deviceKey
    QVector<Entry> m_entries;
    bool m_searched = false;
};
QByteArray baselineLine(Format format, const QDateTime &time, const BaselineWatch::Event &event);

// apply --from-baseline: a row per baseline device that puts back its settings (its MAC, any
// version; line: its entry, from 1).
QVector<PlanRow> baselineRows(const Snapshot &baseline);
// The rows of the devices found that moved (another address, or another ipways), with the MAC
// as found; each row left out is said in *notes.
QVector<PlanRow> rowsToRestore(const QVector<PlanRow> &rows, const QVector<Device> &found,
                               QStringList *notes);

} // namespace cli
