// snapshot and diff: the devices found now, kept as a site's baseline or compared with one.

#include "baseline.h"
#include "engine.h"
#include "run.h"

#include <QEventLoop>
#include <QNetworkInterface>
#include <QSaveFile>
#include <QSysInfo>
#include <QTimer>

namespace cli {

namespace {

// The devices found within the wait, as list finds them, with this host's name and addresses.
// SIGINT and SIGTERM end it at once, as before anything is written.
std::optional<Snapshot> search(const Options &o, Engine &engine)
{
    if (!engine.start())
        return std::nullopt;
    QEventLoop loop;
    QTimer::singleShot(o.waitMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    engine.stop();
    Snapshot s;
    s.taken = QDateTime::currentDateTime()
                  .toOffsetFromUtc(QDateTime::currentDateTime().offsetFromUtc())
                  .toString(Qt::ISODateWithMs);
    s.hostName = QSysInfo::machineHostName();
    for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
        HostInterface hi{iface.name(), {}};
        for (const QNetworkAddressEntry &e : iface.addressEntries()) {
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
                hi.addresses << QStringLiteral("%1/%2").arg(e.ip().toString()).arg(e.prefixLength());
        }
        if (!hi.addresses.isEmpty())
            s.interfaces << hi;
    }
    s.devices = withNotes(engine.table.devices());
    return s;
}

} // namespace

int snapshot(const Options &o, Engine &engine)
{
    const std::optional<Snapshot> s = search(o, engine);
    if (!s)
        return NoInterface;
    QHash<QString, QString> macs; // a MAC twice makes a file that diff refuses as a baseline
    for (const Device &d : s->devices) {
        const QString seen = macs.value(deviceKey(d.rec.mac));
        if (!seen.isNull())
            note(QStringLiteral("%1 and %2 share a MAC: diff and apply --from-baseline refuse this snapshot "
                                "as a baseline until one of the two is gone from it")
                     .arg(quoted(seen), quoted(d.rec.mac)));
        macs.insert(deviceKey(d.rec.mac), d.rec.mac);
    }
    note(QStringLiteral("%1 device(s) found").arg(s->devices.size()));
    const QByteArray json = snapshotJson(*s);
    if (o.outputPath.isEmpty()) {
        out(json);
        return Verified;
    }
    // Written beside it and renamed into place: an interrupted run leaves the old file whole.
    QSaveFile file(o.outputPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
        note(QStringLiteral("cannot write %1: %2").arg(quoted(o.outputPath), file.errorString()));
        return BadInput;
    }
    return Verified;
}

int diff(const Options &o, Engine *engine)
{
    QString error;
    std::optional<Snapshot> baseline = readSnapshotFile(o.baselinePath, &error), now;
    if (baseline)
        now = engine ? search(o, *engine) : readSnapshotFile(o.otherPath, &error);
    if (!error.isEmpty()) {
        note(error);
        return BadInput;
    }
    if (!now)
        return NoInterface;
    const SnapshotDiff d = diffSnapshots(*baseline, *now);
    out(o.format == Format::Json ? diffJson(d) : diffText(d));
    note(d.isEmpty() ? QStringLiteral("no difference")
                     : QStringLiteral("%1 missing, %2 new, %3 moved, %4 changed, %5 conflict(s)")
                           .arg(d.missing.size())
                           .arg(d.added.size())
                           .arg(d.moved.size())
                           .arg(d.changed.size())
                           .arg(d.conflicts.size()));
    return d.isEmpty() ? Verified : Differs;
}

} // namespace cli
