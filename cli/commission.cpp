// set-ip and apply: find the devices, check everything, then send and verify one at a time.

#include "arpquery.h"
#include "baseline.h"
#include "engine.h"
#include "format.h"
#include "ipv4.h"
#include "journal.h"
#include "journalfile.h"
#include "plan.h"
#include "protocol.h"
#include "run.h"
#include "verify.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <memory>

namespace cli {

namespace {

struct Job
{
    PlanRow row;
    QVector<Problem> problems;
    bool found = false;
    Device device; // as it last reported itself
    QString result;
    int exit = Verified;
    int sends = 0;     // commands that went out
    QString journalId; // of its change line, once written
};

void finish(Job &job, const char *result, int exit)
{
    if (job.result.isEmpty())
        job.result = QLatin1String(result), job.exit = exit;
}

// A stop request (SIGINT, SIGTERM) ends the loop that runs: the search or the device followed.
struct Stop
{
    int signal = 0;
    QEventLoop *loop = nullptr;
    void run(QEventLoop &l)
    {
        loop = &l;
        if (!signal)
            l.exec();
        loop = nullptr;
    }
};

// Sends the job's command and follows the device until it reports the new settings, reports
// other ones, or the time is up.
void follow(Job &job, const Options &o, Engine &engine, Stop &stop)
{
    const SetIpRequest &request = job.row.request;
    const QString who = request.mac + QLatin1Char(' ') + request.version;
    Verification verification(job.device.rec, request, o.retries);
    QEventLoop loop;
    auto send = [&] {
        engine.send(request);
        verification.sent(engine.table.lastPass());
        note(QStringLiteral("%1: set-IP command queued (send %2 of at most %3)")
                 .arg(who)
                 .arg(verification.sends())
                 .arg(o.retries + 1));
    };
    engine.table.replied = [&](const Device &d) {
        if (d.rec.mac != request.mac || d.rec.version != request.version || !job.result.isEmpty())
            return;
        job.device = d;
        switch (verification.reply(d.rec)) {
        case Verification::Step::Verified:
            finish(job, "verified", Verified);
            return loop.quit();
        case Verification::Step::Mismatch:
            finish(job, "mismatch", OtherSettings);
            return loop.quit();
        case Verification::Step::Resend:
            return send();
        case Verification::Step::Wait:
            return;
        }
    };
    QTimer::singleShot(o.timeoutMs, Qt::PreciseTimer, &loop, [&] {
        finish(job, "timeout", NotSeen);
        loop.quit();
    });
    send();
    stop.run(loop);
    engine.table.replied = nullptr;
    // A command still queued when the turn ends would go out in the next device's turn: it is
    // taken back, and was never sent.
    job.sends = verification.sends() - (engine.list.takeSetIpRequest() ? 1 : 0);
    if (stop.signal)
        finish(job, "interrupted", 128 + stop.signal);
    note(QStringLiteral("%1: %2 after %3 send(s)").arg(who, job.result).arg(job.sends));
}

// The device other than the job's own that holds the address the job's static request takes, as
// the latest replies show it.
const Device *holder(const Job &job, const QVector<Device> &devices)
{
    const SetIpRequest &r = job.row.request;
    if (r.ipways != QLatin1String("static"))
        return nullptr;
    for (const Device &d : devices) {
        if ((d.rec.mac != r.mac || d.rec.version != r.version) &&
            parseIpv4(d.rec.ipaddr) == parseIpv4(r.ipaddr))
            return &d;
    }
    return nullptr;
}

QVector<PlanRow> planRows(const Options &o, QString *error)
{
    if (o.command == Command::SetIp)
        return {PlanRow{0, o.mac, o.version, o.request, QString()}};
    if (!o.baselinePath.isEmpty()) {
        const std::optional<Snapshot> baseline = readSnapshotFile(o.baselinePath, error);
        if (baseline && baseline->devices.isEmpty())
            *error = QStringLiteral("%1 holds no device").arg(quoted(o.baselinePath));
        return baseline ? baselineRows(*baseline) : QVector<PlanRow>{};
    }
    QFile file(o.planPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(quoted(o.planPath), file.errorString());
        return {};
    }
    const QVector<PlanRow> rows = readPlan(QString::fromUtf8(file.readAll()), error);
    if (error->isEmpty())
        *error = rows.isEmpty() ? QStringLiteral("%1 has no rows").arg(o.planPath) : QString();
    return rows;
}

bool runnable(const Job &job)
{
    return job.found && std::all_of(job.problems.cbegin(), job.problems.cend(),
                                    [](const Problem &p) { return p.forceable; });
}

// True when the problems stop everything: any without --force, or in set-ip one that can't be
// forced. Says them then, and also when last is set (the final check before sending).
bool refused(const Options &o, const QVector<Job> &jobs, bool last)
{
    bool any = false, unforceable = false;
    for (const Job &job : jobs) {
        for (const Problem &p : job.problems)
            any = true, unforceable = unforceable || !p.forceable;
    }
    const bool stop = any && (!o.force || (unforceable && o.command != Command::Apply));
    for (const Job &job : jobs) {
        const QString what = stop            ? QStringLiteral("refused: ")
                             : runnable(job) ? QStringLiteral("sent anyway (--force): ")
                                             : QStringLiteral("skipped: ");
        for (const Problem &p : job.problems) {
            if (stop || last)
                note(what + (o.command != Command::Apply
                                 ? p.text
                                 : QStringLiteral("line %1: %2").arg(job.row.line).arg(p.text)));
        }
    }
    if (stop)
        note(unforceable ? QStringLiteral("nothing sent")
                         : QStringLiteral("nothing sent (--force sends it anyway)"));
    return stop;
}

// Appends the change to the journal before its command goes out; false (said) when the journal
// can't hold it, and then nothing may be sent.
bool journalChange(Job &job, const Options &o, JournalFile *journal)
{
    if (!journal)
        return true;
    JournalEntry e;
    e.time = journalTime(QDateTime::currentDateTime());
    e.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    e.command = QLatin1String(o.command == Command::SetIp   ? "set-ip"
                              : o.command == Command::Apply ? "apply"
                                                            : "undo");
    e.mac = job.device.rec.mac, e.version = job.device.rec.version;
    e.before = job.device.rec;
    e.requested = job.row.request;
    QString error;
    if (!journal->append(changeLine(e), &error)) {
        note(QStringLiteral("%1 %2: %3; nothing sent (--no-journal sends without a journal)")
                 .arg(e.mac, e.version, error));
        return false;
    }
    job.journalId = e.id;
    return true;
}

void journalOutcome(const Job &job, JournalFile *journal)
{
    QString error;
    if (journal && !job.journalId.isEmpty() &&
        !journal->append(outcomeLine(journalTime(QDateTime::currentDateTime()), job.journalId, job.result,
                                     job.exit, job.sends),
                         &error))
        note(error + QLatin1String(": the outcome of the change is not journaled"));
}

// The bytes of the set-IP command as text (the protocol's texts are ASCII).
QString commandText(const SetIpRequest &request)
{
    return QString::fromUtf8(protocol::setIpCommand(request));
}

QByteArray summary(const Options &o, const QVector<Job> &jobs)
{
    QVector<QStringList> rows;
    QByteArrayList items;
    for (const Job &job : jobs) {
        const DeviceRecord &d = job.device.rec;
        rows << QStringList{QString::number(job.row.line),
                            job.row.mac,
                            job.row.version,
                            job.result,
                            QString::number(job.sends),
                            d.ipways,
                            d.ipaddr,
                            d.mask,
                            d.gateway,
                            d.dns1,
                            d.dns2};
        items << jsonObject({{QStringLiteral("line"), QByteArray::number(job.row.line)},
                             {QStringLiteral("mac"), jsonString(job.row.mac)},
                             {QStringLiteral("version"), jsonString(job.row.version)},
                             {QStringLiteral("result"), jsonString(job.result)},
                             {QStringLiteral("exit"), QByteArray::number(job.exit)},
                             {QStringLiteral("sends"), QByteArray::number(job.sends)},
                             {QStringLiteral("device"), job.found ? deviceJson(job.device) : "null"},
                             {QStringLiteral("command"), o.dryRun && job.result == QLatin1String("dry-run")
                                                             ? jsonString(commandText(job.row.request))
                                                             : "null"}});
    }
    if (o.format == Format::Json)
        return "[\n" + items.join(",\n") + "\n]\n";
    return textTable(QString::fromLatin1("line mac version result sends ipways ipaddr mask gateway dns1 dns2")
                         .split(QLatin1Char(' ')),
                     rows);
}

// The static addresses that runnable rows would send, for the ARP check: a device that has these
// settings already gets nothing, so its address is not asked for.
QVector<AddressClaim> claims(const Options &o, const QVector<Job> &jobs, const QVector<Device> &devices)
{
    QVector<AddressClaim> claims;
    for (const Job &job : jobs) {
        const SetIpRequest &r = job.row.request;
        if (!runnable(job) || r.ipways != QLatin1String("static") || reportsRequested(job.device.rec, r))
            continue;
        AddressClaim c{o.command == Command::Apply ? job.row.line : 0, r.ipaddr, job.device.rec.mac, {}};
        for (const Device &d : devices) {
            if (parseIpv4(d.rec.ipaddr) == parseIpv4(r.ipaddr))
                c.known << d.rec.mac;
        }
        claims << c;
    }
    return claims;
}

} // namespace

int commission(const Options &o, Engine &engine)
{
    const bool setIp = o.command != Command::Apply; // undo is a set-ip from the journal
    QString error;
    int exit = BadInput;
    QVector<PlanRow> rows = o.command == Command::Undo ? undoRows(o, &exit) : planRows(o, &error);
    if (!error.isEmpty())
        note(error);
    if (rows.isEmpty() || !error.isEmpty())
        return exit;
    // What can be told without the network is told before a socket opens.
    QVector<Job> jobs;
    for (const PlanRow &row : qAsConst(rows)) {
        Job job;
        job.row = row;
        job.problems =
            row.error.isEmpty() ? checkRequest(row.request, {}) : QVector<Problem>{{row.error, false}};
        jobs << job;
    }
    if (refused(o, jobs, false))
        return BadInput;
    // Opened before anything can be sent: a change the journal can't hold is not made.
    std::unique_ptr<JournalFile> journal;
    if (!o.noJournal && !o.dryRun) {
        journal = std::make_unique<JournalFile>(journalPath(o.journalPath));
        if (!journal->open(&error)) {
            note(error + QLatin1String("; nothing sent (--no-journal sends without a journal)"));
            return BadInput;
        }
    }

    if (!engine.start())
        return NoInterface;
    // From here on a stop request ends the run in order: nothing more is sent, and what was done
    // is still printed.
    Stop stop;
    onStopRequest([&stop](int signal) {
        if (!stop.signal)
            stop.signal = signal;
        if (stop.loop)
            stop.loop->quit();
    });
    QEventLoop search;
    QTimer::singleShot(o.waitMs, Qt::PreciseTimer, &search, &QEventLoop::quit);
    stop.run(search);
    if (!o.baselinePath.isEmpty()) { // a restore: only the devices found that moved since
        QStringList notes;
        rows = rowsToRestore(rows, engine.table.devices(), &notes);
        for (const QString &n : qAsConst(notes))
            note(n);
        jobs.resize(rows.size());
    }
    QVector<Known> known;
    for (const Device &device : engine.table.devices())
        known << Known{device.rec, localSubnets(device.seenOn)};
    const PlanCheck check = checkPlan(rows, known);
    if (setIp && check.candidates[0].isEmpty() && !stop.signal) {
        note(QStringLiteral("no device %1 found")
                 .arg(quoted((rows[0].mac + QLatin1Char(' ') + rows[0].version).trimmed())));
        return NotFound;
    }
    for (int i = 0; i < jobs.size(); ++i) {
        Job &job = jobs[i];
        job.row = rows[i];
        job.problems = check.problems[i];
        job.found = check.device[i] >= 0;
        if (job.found)
            job.device = engine.table.devices()[check.device[i]];
    }
    if (!stop.signal && refused(o, jobs, true))
        return BadInput;
    if (!stop.signal && o.conflictCheck &&
        addressesInUse(claims(o, jobs, engine.table.devices()), o.requireFree))
        return AddressInUse;

    bool sentAny = false;
    for (const int i : check.order) {
        Job &job = jobs[i];
        const QString who = job.row.request.mac + QLatin1Char(' ') + job.row.request.version;
        const Device *held = nullptr;
        if (stop.signal) {
            finish(job, "not-reached", 128 + stop.signal);
        } else if (!runnable(job)) {
            const bool missing = check.candidates[i].isEmpty();
            finish(job, missing ? "not-found" : "refused", missing ? NotFound : BadInput);
        } else if (o.dryRun) {
            if (o.format != Format::Json)
                out(plainText(commandText(job.row.request)).toUtf8() + '\n');
            finish(job, "dry-run", Verified);
        } else if (reportsRequested(job.device.rec, job.row.request)) {
            note(QStringLiteral("%1: has these settings already, nothing sent").arg(who));
            finish(job, "unchanged", Verified);
        } else if (job.problems.isEmpty() && (held = holder(job, engine.table.devices()))) {
            // Checked again just before sending: an earlier row's device may not have moved away
            // (forced problems aside, which the user chose to send anyway).
            note(QStringLiteral("%1: %2 is still held by %3 %4, nothing sent")
                     .arg(who, job.row.request.ipaddr, held->rec.mac, held->rec.version));
            finish(job, "held", BadInput);
        } else if (!journalChange(job, o, journal.get())) {
            finish(job, "refused", BadInput);
        } else {
            follow(job, o, engine, stop);
            sentAny = sentAny || job.sends > 0;
            journalOutcome(job, journal.get());
        }
    }
    engine.stop();
    // The run's code: its worst row's; but 2 says nothing was sent, so once anything was, a row
    // not sent counts as not seen with its new settings.
    exit = Verified;
    for (const Job &job : qAsConst(jobs))
        exit = std::max(exit, sentAny && job.exit == BadInput ? int(NotSeen) : job.exit);
    if (stop.signal)
        exit = 128 + stop.signal;
    if (!setIp)
        out(summary(o, jobs));
    else if (o.dryRun && o.format == Format::Json && jobs[0].result == QLatin1String("dry-run"))
        out(jsonObject({{QStringLiteral("command"), jsonString(commandText(jobs[0].row.request))},
                        {QStringLiteral("device"), deviceJson(jobs[0].device)}}) +
            '\n');
    else if (!o.dryRun && jobs[0].found)
        out(o.format == Format::Json ? deviceJson(jobs[0].device) + '\n' : devicesTable({jobs[0].device}));
    return exit;
}

} // namespace cli
