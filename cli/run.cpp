#include "run.h"

#include "baseline.h"
#include "conflicts.h"
#include "engine.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>

namespace cli {

namespace {

// Waits and durations are precise: a coarse timer may end a 3 s wait 150 ms early.
int list(const Options &o, Engine &engine)
{
    if (!engine.start())
        return NoInterface;
    QEventLoop loop;
    QTimer::singleShot(o.waitMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    engine.stop();
    const QVector<Device> devices = withNotes(engine.table.devices());
    out(o.format == Format::Json  ? devicesJson(devices)
        : o.format == Format::Csv ? devicesCsv(devices, stdoutIsTerminal())
                                  : devicesTable(devices));
    if (devices.isEmpty())
        note(QStringLiteral("no device found"));
    return Verified;
}

int watch(const Options &o, Engine &engine)
{
    auto print = [&o](Event event, const Device &device, const QStringList &fields = {},
                      const DeviceRecord &was = {}) {
        out(eventLine(o.format, QDateTime::currentDateTime(), event, device, fields, was));
    };
    ConflictTracker conflicts(hostAddresses());
    std::optional<BaselineWatch> baseline;
    if (!o.baselinePath.isEmpty()) {
        QString error;
        const std::optional<Snapshot> s = readSnapshotFile(o.baselinePath, &error);
        if (!s)
            return note(error), BadInput;
        baseline.emplace(s->devices);
    }
    auto against = [&](const QVector<BaselineWatch::Event> &events) {
        for (const BaselineWatch::Event &e : events)
            out(baselineLine(o.format, QDateTime::currentDateTime(), e));
    };
    auto moved = [&](const DeviceRecord &rec, const QString &was, const QString &now) {
        for (const ConflictTracker::Change &c : conflicts.move(rec, was, now))
            out(conflictLine(o.format, QDateTime::currentDateTime(), c.ipaddr, c.holders));
    };
    engine.table.added = [&](const Device &d) {
        print(Event::Added, d);
        moved(d.rec, {}, d.rec.ipaddr);
        if (baseline)
            against(baseline->added(d));
    };
    engine.table.changed = [&](const Device &d, const QStringList &fields, const DeviceRecord &was) {
        print(Event::Changed, d, fields, was);
        moved(d.rec, was.ipaddr, d.rec.ipaddr);
        if (baseline)
            against(baseline->changed(d));
    };
    engine.table.removed = [&](const Device &d) {
        print(Event::Removed, d);
        moved(d.rec, d.rec.ipaddr, {});
        if (baseline)
            against(baseline->removed(d));
    };
    QEventLoop loop;
    // A timer takes at most 2^31 - 1 ms (24.8 days): a longer duration is waited for in days.
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QDeadlineTimer end(o.durationMs, Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (end.hasExpired())
            return loop.quit();
        timer.start(int(std::min<qint64>(end.remainingTime(), 24 * 3600 * 1000)));
    });
    // Armed once the engine runs: a quit() before exec() would be lost.
    if (!engine.start())
        return NoInterface;
    onStopRequest([&loop](int) { loop.quit(); });
    if (o.durationMs > 0)
        timer.start(0);
    // Four discoveries, a second apart, have been answered by then: the removal rule's count.
    if (baseline)
        QTimer::singleShot(4000, Qt::PreciseTimer, &loop, [&] { against(baseline->searched()); });
    loop.exec();
    engine.stop(); // what was already merged is still told
    return Verified;
}

} // namespace

int run(const Options &o)
{
    // The window's trace and list dump are its field diagnostics; here they would bury the data.
    if (!o.trace)
        QLoggingCategory::setFilterRules(QStringLiteral("lanScout.udp.debug=false\ndefault.debug=false"));
    if (o.command == Command::History)
        return history(o); // no socket: not even the probe of the port below
    if (o.command == Command::Diff && !o.otherPath.isEmpty())
        return diff(o, nullptr); // two files: no socket either
    if (!knownInterfaces(o.interfaces))
        return BadInput;
    if (o.command == Command::Doctor)
        return doctor(o); // it looks into the port's holder itself
    if (hostPortHeldElsewhere())
        note(QStringLiteral(
            "another program (lanScout's window?) holds port 8888 on this host: a reply a device "
            "sends to this host's address reaches only one of the two, so devices and "
            "verifications may be missed"));
    Engine engine;
    engine.interfaces = o.interfaces;
    switch (o.command) {
    case Command::List:
        return list(o, engine);
    case Command::Watch:
        return watch(o, engine);
    case Command::SetIp:
    case Command::Apply:
    case Command::Undo:
        return commission(o, engine);
    case Command::Snapshot:
        return snapshot(o, engine);
    case Command::Diff:
        return diff(o, &engine);
    case Command::History:
    case Command::Doctor:
    case Command::None:
        break;
    }
    return BadInput;
}

} // namespace cli
