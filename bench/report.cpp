#include "report.h"

#include <QTextStream>

#include <cmath>

namespace bench {

namespace {

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString thousands(double value)
{
    return QLocale(QLocale::English).toString(qint64(std::llround(value)));
}

QString spreadText(int spreadMs)
{
    return spreadMs ? QStringLiteral("spread over %1 ms").arg(spreadMs) : QStringLiteral("same instant");
}

QString onOff(bool debug)
{
    return debug ? QStringLiteral("on") : QStringLiteral("off");
}

// Median and the range of the middle 80 % of the rounds: "124,000 (110,000–131,000, 40 rounds)".
QString intakeText(const std::vector<double> &rates)
{
    if (rates.empty())
        return QStringLiteral("–");
    return QStringLiteral("%1 (%2–%3, %4 rounds)")
        .arg(thousands(percentile(rates, 50)), thousands(percentile(rates, 10)),
             thousands(percentile(rates, 90)))
        .arg(rates.size());
}

QString ms(const std::vector<double> &v)
{
    return v.empty() ? QStringLiteral("–") : fixed(percentile(v, 50), 1) + QStringLiteral(" ms");
}

QString verdict(bool measured, bool ok, const QString &whyNot = QString())
{
    if (!measured)
        return QStringLiteral("**not measured**") +
               (whyNot.isEmpty() ? QString() : QStringLiteral(" (") + whyNot + QLatin1Char(')'));
    return ok ? QStringLiteral("**holds**") : QStringLiteral("**does not hold**");
}

const Figures *find(const QVector<Figures> &runs, bool debug, int devices, int spread)
{
    for (const Figures &f : runs) {
        if (f.traffic.debug == debug && f.traffic.devices == devices && f.traffic.spreadMs == spread &&
            f.error.isEmpty() && !f.search)
            return &f;
    }
    return nullptr;
}

// Resident memory per listed device: the difference to the 100-device run of the same kind, over
// the difference in rows, so that what the program holds without devices drops out.
double bytesPerDevice(const Results &r, const Figures &f)
{
    const Figures *base = find(r.program, f.traffic.debug, 100, f.traffic.spreadMs);
    if (!base || base == &f || f.rows <= base->rows || f.rssKib < 0 || base->rssKib < 0)
        return -1;
    return double(f.rssKib - base->rssKib) * 1024 / double(f.rows - base->rows);
}

} // namespace

QString report(const Results &r)
{
    QString s;
    QTextStream out(&s);
    out << "## Run\n\n- Started " << r.started << ", finished " << r.finished
        << "; load average (1, 5, 15 min) at the start " << r.loadAtStart << ", at the end " << r.loadAtEnd
        << ".\n- Machine: " << r.machine << "; build " << r.buildType << ".\n"
        << "- The program (the real lanScout, on the offscreen platform, read through its probe lines), the "
           "simulator and the minimal loop share the machine; each measurement is a fresh process.\n"
        << "- Window " << r.plan.windowS << " s (the search for the largest N: " << r.searchWindowS
        << " s); a run that has already failed stops after " << r.plan.failFastS << " s of its window.\n";
    if (r.plan.receiveBufferCap > 0)
        out << "- **Receive buffers capped** to what a kernel with net.core.rmem_max = "
            << r.plan.receiveBufferCap << " grants a request for 8 MiB.\n";

    if (r.startupRun) {
        const StartupFigures &st = r.startup;
        out << "\n## Start-up (median of " << st.minimalShownMs.size() << ")\n\n"
            << "| | process start to window shown | process start to first discovery on the wire |\n"
            << "|---|---:|---:|\n"
            << "| minimal Qt widgets window | " << ms(st.minimalShownMs) << " | |\n"
            << "| lanScout | " << ms(st.programShownMs) << " | " << ms(st.programWireMs) << " |\n";
        out << "\nlanScout's steps, from process start: ";
        QStringList steps;
        for (auto it = st.programPhaseMs.cbegin(); it != st.programPhaseMs.cend(); ++it)
            steps << it.key() + QLatin1Char(' ') + ms(it.value());
        out << steps.join(QStringLiteral(", ")) << " (application: the application object made; settings: "
            << "fonts, language and image decoding under way; show: the window built and shown).\n";
    }

    out << "\n## lanScout under load\n\n| debug output | devices | replies | all listed in | spurious "
           "removals | "
           "missing at end | window | longest gap between requests | accepted replies/s | burst intake/s "
           "(median, 10th to 90th percentile) | CPU s per 1,000 replies | GUI lag p99 / max (ms, worst second) "
           "| "
           "memory per device | kernel drops (socket / backlog) | receive buffer | closing |\n"
        << "|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const Figures &f : r.program) {
        if (!f.error.isEmpty())
            continue;
        const double perDevice = bytesPerDevice(r, f);
        out << "| " << onOff(f.traffic.debug) << " | " << thousands(f.traffic.devices) << " | "
            << spreadText(f.traffic.spreadMs) << " | "
            << (f.listedS >= 0 ? fixed(f.listedS, 2) + QStringLiteral(" s") : QStringLiteral("never"))
            << " | " << f.spurious << " | " << f.missing << " | " << fixed(f.windowS, 0)
            << (f.search ? " s*" : " s") << " | " << fixed(f.longestGapS, 1) << " s | "
            << thousands(f.acceptedPerS) << " | " << intakeText(f.intakePerS) << " | "
            << fixed(f.cpuPerThousand, 3) << " | " << f.lagP99Ms << " / " << f.lagMaxMs << " | "
            << (perDevice < 0 ? QStringLiteral("–") : thousands(perDevice) + QStringLiteral(" B")) << " | "
            << thousands(f.socketDrops) << " / " << thousands(f.backlogDrops) << " | "
            << thousands(f.receiveBuffer) << " B | "
            << (f.closingMs < 0 ? QStringLiteral("> 5 s")
                                : QString::number(f.closingMs) + QStringLiteral(" ms"))
            << " |\n";
    }
    out << "\n\\* a run of the search for the largest N, with the shorter window.\n";

    out << "\n## The physical limit: a minimal receive-and-parse loop on one socket\n\n| devices | replies | "
           "all "
           "seen in | replies/s | burst intake/s (median, 10th to 90th percentile) | kernel drops (socket / "
           "backlog) "
           "| lanScout : minimal, burst intake (debug off / on) |\n|---:|---|---:|---:|---:|---:|---:|\n";
    for (const Figures &m : r.minimal) {
        if (!m.error.isEmpty())
            continue;
        QStringList ratios;
        for (const bool debug : {false, true}) {
            const Figures *p = find(r.program, debug, m.traffic.devices, m.traffic.spreadMs);
            ratios << (p && m.intakeMedian() > 0 ? fixed(p->intakeMedian() / m.intakeMedian(), 2)
                                                 : QStringLiteral("–"));
        }
        out << "| " << thousands(m.traffic.devices) << " | " << spreadText(m.traffic.spreadMs) << " | "
            << (m.listedS >= 0 ? fixed(m.listedS, 2) + QStringLiteral(" s") : QStringLiteral("never"))
            << " | " << thousands(m.acceptedPerS) << " | " << intakeText(m.intakePerS) << " | "
            << thousands(m.socketDrops) << " / " << thousands(m.backlogDrops) << " | "
            << ratios.join(QStringLiteral(" / ")) << " |\n";
    }

    if (!r.largest.isEmpty()) {
        out << "\n## Largest N that holds\n\n| debug output | replies | largest N that held | smallest N "
               "that "
               "failed |\n|---|---|---:|---:|\n";
        for (auto it = r.largest.cbegin(); it != r.largest.cend(); ++it)
            out << "| " << onOff(it.key().first) << " | " << spreadText(it.key().second) << " | "
                << thousands(it->first) << " | "
                << (it->second ? thousands(it->second) : QStringLiteral("none up to the simulator's limit"))
                << " |\n";
    }

    if (!r.flapping.isEmpty()) {
        out << "\n## One identity flapping between two addresses\n\n| debug output | devices listed | flood "
               "| "
               "resident memory each second from the flood's start (KiB) | GUI lag p99, worst second |\n"
               "|---|---:|---|---|---:|\n";
        for (const FlapFigures &f : r.flapping) {
            QStringList kib;
            for (const qint64 k : f.rssKibEachSecond)
                kib << thousands(double(k));
            out << "| " << onOff(f.debug) << " | " << thousands(f.devices) << " | " << thousands(f.ratePerS)
                << "/s for " << f.seconds << " s | "
                << (f.error.isEmpty() ? kib.join(QStringLiteral(", ")) : f.error) << " | " << f.lagP99Ms
                << " ms |\n";
        }
    }

    out << "\n## Targets\n\n";
    {
        const Figures *f = find(r.program, false, 10000, 200);
        out << "- 10,000 devices spread over 200 ms, debug output off, all listed within 3 s, no spurious "
               "removal, "
               "GUI lag p99 under 50 ms: "
            << verdict(f, f && f->holds() && f->listedS <= 3 && f->lagP99Ms < 50,
                       QStringLiteral("no such run"));
        if (f)
            out << ": listed in " << fixed(f->listedS, 2) << " s, " << f->spurious << " removals, lag p99 "
                << f->lagP99Ms << " ms";
        out << ".\n";
    }
    {
        const Figures *f = find(r.program, false, 1000, 0);
        out << "- 1,000 devices in the same instant, debug output off, no spurious removal: "
            << verdict(f, f && f->holds(), QStringLiteral("no such run"));
        if (f)
            out << ": " << f->spurious << " removals, " << thousands(f->socketDrops)
                << " replies dropped by the kernel";
        out << ".\n";
    }
    for (const int spread : {200, 0}) {
        const Figures *f = find(r.program, true, 100, spread);
        const auto largest = r.largest.value({true, spread});
        out << "- Debug output on, 100 devices " << spreadText(spread)
            << ", no spurious removal: " << verdict(f, f && f->holds(), QStringLiteral("no such run"));
        if (largest.first)
            out << "; the largest N that holds with it: " << thousands(largest.first);
        out << ".\n";
    }
    {
        // Capacity: only a run that did not hold reached it; where every run held, the offered load
        // bounded them all and nothing says how much more lanScout could take.
        double engine = 0, minimal = 0;
        bool reached = false;
        for (const Figures &f : r.program) {
            if (f.traffic.debug || !f.error.isEmpty())
                continue;
            reached = reached || !f.holds();
            engine = std::max(engine, f.acceptedPerS);
        }
        for (const Figures &m : r.minimal)
            minimal = std::max(minimal, m.acceptedPerS);
        out << "- Throughput at least half the minimal loop's (debug output off): "
            << verdict(reached && minimal > 0, engine >= minimal / 2,
                       QStringLiteral(
                           "every run of lanScout held, so none reached its capacity; the search for the "
                           "largest N runs it to its limit"));
        if (reached && minimal > 0)
            out << ": at most " << thousands(engine) << " replies/s against " << thousands(minimal) << " ("
                << fixed(engine / minimal, 2) << ")";
        out << ".\n";
    }
    for (const int devices : {10000, 50000}) {
        for (const bool debug : {false, true}) {
            const Figures *p = find(r.program, debug, devices, 0);
            const Figures *m = nullptr;
            for (const Figures &x : r.minimal)
                m = x.traffic.devices == devices && x.traffic.spreadMs == 0 && x.error.isEmpty() ? &x : m;
            const double need = debug ? 0.5 : 0.8;
            const bool measured = p && m && p->intakePerS.size() >= 20 && m->intakePerS.size() >= 20;
            out << "- Burst intake of " << thousands(devices) << " devices in the same instant, debug output "
                << onOff(debug) << ", at least " << fixed(need, 1)
                << " of the minimal loop's (median over 20 "
                << "rounds or more): "
                << verdict(measured, measured && p->intakeMedian() >= need * m->intakeMedian(),
                           QStringLiteral("fewer than 20 rounds of both"));
            if (measured)
                out << ": " << intakeText(p->intakePerS) << " against " << intakeText(m->intakePerS) << ", "
                    << fixed(p->intakeMedian() / m->intakeMedian(), 2);
            out << ".\n";
        }
    }
    for (const int spread : {200, 0}) {
        for (const bool debug : {false, true}) {
            const Figures *f = find(r.program, debug, 50000, spread);
            out << "- 50,000 devices " << spreadText(spread) << ", debug output " << onOff(debug)
                << ", held with no spurious removal and GUI lag p99 under 5 ms: "
                << verdict(f, f && f->holds() && f->lagP99Ms < 5, QStringLiteral("no such run"));
            if (f)
                out << ": " << f->spurious << " removals, " << f->missing << " missing, lag p99 "
                    << f->lagP99Ms << " ms, receive buffer " << thousands(f->receiveBuffer) << " bytes";
            out << ".\n";
        }
    }
    if (r.startupRun && !r.startup.minimalShownMs.empty() && !r.startup.programShownMs.empty()) {
        const double ratio =
            percentile(r.startup.programShownMs, 50) / percentile(r.startup.minimalShownMs, 50);
        out << "- Start-up within 1.5 times the minimal window's: " << verdict(true, ratio <= 1.5) << ": "
            << ms(r.startup.programShownMs) << " against " << ms(r.startup.minimalShownMs) << ", ratio "
            << fixed(ratio, 2) << ".\n";
    }
    {
        const Figures *f = find(r.program, false, 10000, 200);
        const double perDevice = f ? bytesPerDevice(r, *f) : -1;
        out << "- Resident memory under 2 KiB per listed device at 10,000 devices: "
            << verdict(perDevice >= 0, perDevice < 2048, QStringLiteral("no runs at 100 and 10,000 devices"));
        if (perDevice >= 0)
            out << ": " << thousands(perDevice) << " bytes";
        out << ".\n";
    }
    if (!r.failures.isEmpty()) {
        out << "\n## Measurements that failed\n\n";
        for (const QString &failure : r.failures)
            out << "- " << failure << "\n";
    }
    out.flush();
    return s;
}

} // namespace bench
