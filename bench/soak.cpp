#include "measure.h"

#include "launchers.h"
#include "udplogging.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTest>

#include <csignal>

namespace bench {

namespace {

// What the simulator's devices are doing, from its event lines as they are read.
class Truth
{
public:
    struct Device
    {
        bool answering = true;
        qint64 sinceMs = 0;   // answering or not since
        qint64 addressMs = 0; // address held since
    };

    explicit Truth(const testbed::SimProcess &sim) : m_sim(sim) { m_devices.resize(sim.devices.size()); }

    // Takes in the event lines read since; from recordFromMs on they are kept as TruthEvents.
    int update()
    {
        int taken = 0;
        for (; m_next < m_sim.events.size(); ++m_next) {
            const QList<QByteArray> &w = m_sim.events[m_next];
            const QByteArray &kind = w[0];
            const bool churn =
                kind == "leave" || kind == "back" || kind == "new" || kind == "renumber" || kind == "change";
            if (!churn || w.size() < 3)
                continue;
            const int device = w[2].toInt();
            if (device >= m_sim.devices.size())
                break; // its device line is still to come
            if (device >= m_devices.size())
                m_devices.resize(device + 1);
            const qint64 ms = m_sim.eventMs[m_next];
            Device &d = m_devices[device];
            TruthEvent::Kind k = TruthEvent::Change;
            if (kind == "leave" || kind == "back" || kind == "new") {
                d.answering = kind != "leave";
                d.sinceMs = ms;
                d.addressMs = kind == "new" ? ms : d.addressMs;
                k = kind == "leave"  ? TruthEvent::Leave
                    : kind == "back" ? TruthEvent::Back
                                     : TruthEvent::Appear;
            } else if (kind == "renumber") {
                d.addressMs = ms;
                k = TruthEvent::Renumber;
            }
            if (m_recording)
                events.append({k, ms, m_sim.devices[device].mac, QString::fromLatin1(w.value(3))});
            ++taken;
        }
        return taken;
    }
    // From now on the events are kept; the devices answering now are there "from the start".
    void startRecording(qint64 ms)
    {
        update();
        m_recording = true;
        for (int i = 0; i < m_devices.size(); ++i) {
            if (m_devices[i].answering)
                events.append({TruthEvent::Appear, ms, m_sim.devices[i].mac, QStringLiteral("start")});
        }
    }
    const Device *device(const QString &mac) const
    {
        const int i = simulatedDeviceOfMac(mac);
        return i >= 0 && i < m_devices.size() ? &m_devices[i] : nullptr;
    }
    int size() const { return m_devices.size(); }
    const Device &at(int i) const { return m_devices[i]; }

    QVector<TruthEvent> events;

private:
    const testbed::SimProcess &m_sim;
    QVector<Device> m_devices;
    int m_next = 0;
    bool m_recording = false;
};

int openDescriptors(qint64 pid)
{
    const QDir dir(QStringLiteral("/proc/%1/fd").arg(pid));
    return dir.exists() ? int(dir.entryList(QDir::System | QDir::NoDotAndDotDot).size()) : -1;
}

qint64 rssKibOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The list against the truth at nowMs. Grace: a device is listed within 3 s of answering, removed
// within 7 s of going quiet (four missed discoveries a second apart, then the next pass), and shows
// a new address within 3 s.
SoakSample compare(const Truth &truth, const QHash<QString, QString> &listed, const testbed::SimProcess &sim,
                   qint64 nowMs)
{
    SoakSample s;
    s.listed = listed.size();
    for (int i = 0; i < truth.size() && i < sim.devices.size(); ++i) {
        const Truth::Device &d = truth.at(i);
        const auto row = listed.constFind(sim.devices[i].mac);
        const bool isListed = row != listed.constEnd();
        s.answering += d.answering;
        s.missing += d.answering && !isListed && nowMs - d.sinceMs >= 3000;
        s.kept += !d.answering && isListed && nowMs - d.sinceMs >= 7000;
        s.wrongAddress +=
            d.answering && isListed && *row != sim.devices[i].ipaddr && nowMs - d.addressMs >= 3000;
    }
    return s;
}

} // namespace

SoakFigures soak(const SoakPlan &plan, bool watch)
{
    SoakFigures f;
    f.plan = plan;
    f.watch = watch;
    f.program = watch ? QStringLiteral("lanscout-cli watch --format jsonl") : QStringLiteral("lanScout");
    const auto rate = [](double percent) { return QString::number(percent); };
    testbed::SimProcess sim;
    // A /16, so that the new devices and the renumbered ones get addresses no one else has.
    const QStringList args{QStringLiteral("--devices"),        QString::number(plan.devices),
                           QStringLiteral("--spread"),         QStringLiteral("200"),
                           QStringLiteral("--subnet"),         QStringLiteral("198.18.0.0/16"),
                           QStringLiteral("--churn-leave"),    rate(plan.leave),
                           QStringLiteral("--churn-back"),     rate(plan.back),
                           QStringLiteral("--churn-new"),      rate(plan.appear),
                           QStringLiteral("--churn-renumber"), rate(plan.renumber),
                           QStringLiteral("--churn-change"),   rate(plan.change)};
    if (!sim.start(args, &f.error, plan.seconds + 120, false))
        return f;
    Truth truth(sim);

    std::unique_ptr<testbed::AppProcess> app;
    std::unique_ptr<testbed::CliProcess> cli;
    QHash<QString, QString> watchListed; // mac -> address, from the watch lines
    QVector<WatchEvent> watchEvents;
    int linesTaken = 0, removalsTaken = 0;
    const auto readWatch = [&] {
        for (; linesTaken < cli->lines.size(); ++linesTaken) {
            const auto &[ms, line] = cli->lines[linesTaken];
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const QString event = o.value(QLatin1String("event")).toString();
            const QJsonObject device = o.value(QLatin1String("device")).toObject();
            const QString mac = device.value(QLatin1String("mac")).toString();
            if (mac.isEmpty())
                continue; // conflict lines and the like
            QStringList fields;
            for (const QJsonValue &v : o.value(QLatin1String("fields")).toArray())
                fields << v.toString();
            watchEvents.append({ms, mac, event, fields});
            if (event == QLatin1String("removed"))
                watchListed.remove(mac);
            else
                watchListed.insert(mac, device.value(QLatin1String("ipaddr")).toString());
        }
    };
    QString error;
    if (watch) {
        cli = std::make_unique<testbed::CliProcess>(QStringLiteral("watch --format jsonl"), sim);
    } else {
        app = std::make_unique<testbed::AppProcess>(probeRules(false));
        if (!app->start(&error)) {
            f.error = error;
            return f;
        }
    }
    const qint64 pid = watch ? cli->pid() : app->pid();
    const qint64 startMs = sim.now(), startNs = probeClockNs();
    truth.startRecording(startMs);
    const QHash<QString, QString> &listed = watch ? watchListed : app->listed;

    // Removals of devices that kept answering, as they come; a device that came back a moment
    // before may still go with the pass that its absence began.
    const auto spurious = [&](const QString &mac, qint64 nowMs) {
        const Truth::Device *d = truth.device(mac);
        f.spuriousRemovals += d && d->answering && nowMs - d->sinceMs >= 3500;
    };
    qint64 nextSampleMs = startMs + qint64(plan.sampleS) * 1000;
    const qint64 endMs = startMs + qint64(plan.seconds) * 1000;
    while (sim.now() < endMs) {
        QTest::qWait(200);
        const qint64 now = sim.now();
        f.churnEvents += truth.update();
        if (watch) {
            const int before = watchEvents.size();
            readWatch();
            for (int i = before; i < watchEvents.size(); ++i) {
                if (watchEvents[i].event == QLatin1String("removed"))
                    spurious(watchEvents[i].mac, now);
            }
        } else {
            for (; removalsTaken < app->removed.size(); ++removalsTaken)
                spurious(app->removed[removalsTaken], now);
        }
        if (now >= nextSampleMs || now >= endMs) {
            nextSampleMs += qint64(plan.sampleS) * 1000;
            SoakSample s = compare(truth, listed, sim, now);
            s.minute = double(now - startMs) / 60000;
            s.rssKib = rssKibOf(pid);
            s.fds = openDescriptors(pid);
            f.samples.push_back(s);
            if (s.rssKib < 0) {
                f.error = QStringLiteral("%1 ended during the soak").arg(f.program);
                break;
            }
        }
    }
    if (watch) {
        cli->signal(SIGTERM);
        if (cli->finish(10000) != 0 && f.error.isEmpty())
            f.error = QStringLiteral("watch did not end cleanly on SIGTERM");
        readWatch();
        f.check = checkWatch(truth.events, watchEvents, sim.now() - 3000);
    } else {
        app->poll();
        std::tie(f.lagP99Ms, f.lagMaxMs) = lagOf(*app, startNs, probeClockNs());
        if (app->terminateAndWait(5000) < 0 && f.error.isEmpty())
            f.error = QStringLiteral("lanScout did not end within 5 s of SIGTERM");
    }
    return f;
}

QString soakReport(const QVector<SoakFigures> &runs, const QString &machine, const QString &when)
{
    const QLocale c = QLocale::c();
    const auto n = [&](qint64 v) { return v < 0 ? QStringLiteral("–") : c.toString(v); };
    QString out;
    if (runs.isEmpty())
        return out;
    const SoakPlan &p = runs.first().plan;
    out += QStringLiteral(
               "### Soak\n\n- %1; %2.\n- %3 devices, %4 minutes, per minute: %5 % leave, %6 % come back, "
               "%7 % new, %8 % renumbered, %9 % change another field (seed 1); replies spread over "
               "200 ms.\n\n")
               .arg(when, machine)
               .arg(p.devices)
               .arg(double(p.seconds) / 60)
               .arg(p.leave)
               .arg(p.back)
               .arg(p.appear)
               .arg(p.renumber)
               .arg(p.change);
    out += QStringLiteral(
        "| program | churn events | memory at reference / at end (KiB) | growth after reference | "
        "wrongly missing / kept / wrong address (worst sample) | spurious removals | "
        "watch: changes expected / reported once / missed / invented | GUI lag p99 / max | "
        "open descriptors, first / last sample |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const SoakFigures &f : runs) {
        if (!f.error.isEmpty())
            out += QStringLiteral("| %1 | failed: %2 |||||||||\n").arg(f.program, f.error);
        if (f.samples.empty())
            continue;
        // Growth is judged after the first 10 minutes (for a shorter soak, after its first half).
        const double refMinute = std::min(10.0, double(p.seconds) / 120);
        const SoakSample *ref = &f.samples.front();
        for (const SoakSample &s : f.samples)
            ref = s.minute <= refMinute + 0.05 ? &s : ref;
        const SoakSample &last = f.samples.back();
        int missing = 0, kept = 0, address = 0;
        for (const SoakSample &s : f.samples) {
            missing = std::max(missing, s.missing);
            kept = std::max(kept, s.kept);
            address = std::max(address, s.wrongAddress);
        }
        out +=
            QStringLiteral(
                "| %1 | %2 | %3 (min %4) / %5 | %6 % | %7 / %8 / %9 | %10 | %11 | %12 | %13 / %14 |\n")
                .arg(f.program, n(f.churnEvents), n(ref->rssKib), QString::number(ref->minute, 'f', 1),
                     n(last.rssKib),
                     QString::number(100.0 * double(last.rssKib - ref->rssKib) / double(ref->rssKib), 'f', 2))
                .arg(missing)
                .arg(kept)
                .arg(address)
                .arg(f.spuriousRemovals)
                .arg(f.watch ? QStringLiteral("%1 / %2 / %3 / %4")
                                   .arg(f.check.expected)
                                   .arg(f.check.reported)
                                   .arg(f.check.missed)
                                   .arg(f.check.invented)
                             : QStringLiteral("–"))
                .arg(f.watch ? QStringLiteral("–")
                             : QStringLiteral("%1 / %2 ms").arg(f.lagP99Ms).arg(f.lagMaxMs))
                .arg(f.samples.front().fds)
                .arg(last.fds);
    }
    out += QStringLiteral(
        "\nEach sample (minute: resident KiB, descriptors, listed / answering, missing, kept, wrong "
        "address):\n\n");
    for (const SoakFigures &f : runs) {
        QStringList parts;
        for (const SoakSample &s : f.samples)
            parts << QStringLiteral("%1: %2, %3, %4 / %5, %6, %7, %8")
                         .arg(s.minute, 0, 'f', 1)
                         .arg(n(s.rssKib))
                         .arg(s.fds)
                         .arg(s.listed)
                         .arg(s.answering)
                         .arg(s.missing)
                         .arg(s.kept)
                         .arg(s.wrongAddress);
        out += QStringLiteral("- %1: %2\n").arg(f.program, parts.join(QLatin1String("; ")));
    }
    for (const SoakFigures &f : runs) {
        for (const QString &miss : f.check.missedDetails)
            out += QStringLiteral("- %1 missed: %2\n").arg(f.program, miss);
    }
    return out + QLatin1Char('\n');
}

} // namespace bench
