// set-ip and apply: find the devices, check everything, then send and verify one at a time.

#include "engine.h"
#include "format.h"
#include "plan.h"
#include "protocol.h"
#include "run.h"
#include "verify.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>

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
    int sends = 0;
};

void finish(Job &job, const char *result, int exit)
{
    if (job.result.isEmpty())
        job.result = QLatin1String(result), job.exit = exit;
}

// Sends the job's command and follows the device until it reports the new settings, reports
// other ones, or the time is up.
void follow(Job &job, const Options &o, Engine &engine)
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
    loop.exec();
    engine.table.replied = nullptr;
    job.sends = verification.sends();
    note(QStringLiteral("%1: %2 after %3 send(s)").arg(who, job.result).arg(job.sends));
}

QVector<PlanRow> planRows(const Options &o, QString *error)
{
    if (o.command == Command::SetIp)
        return {PlanRow{0, o.mac, o.version, o.request, QString()}};
    QFile file(o.planPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(o.planPath, file.errorString());
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
    const bool stop = any && (!o.force || (unforceable && o.command == Command::SetIp));
    for (const Job &job : jobs) {
        const QString what = stop            ? QStringLiteral("refused: ")
                             : runnable(job) ? QStringLiteral("sent anyway (--force): ")
                                             : QStringLiteral("skipped: ");
        for (const Problem &p : job.problems) {
            if (stop || last)
                note(what + (o.command == Command::SetIp
                                 ? p.text
                                 : QStringLiteral("line %1: %2").arg(job.row.line).arg(p.text)));
        }
    }
    if (stop)
        note(unforceable ? QStringLiteral("nothing sent")
                         : QStringLiteral("nothing sent (--force sends it anyway)"));
    return stop;
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
                             {QStringLiteral("device"), job.found ? deviceJson(job.device) : "null"}});
    }
    if (o.format == Format::Json)
        return "[\n" + items.join(",\n") + "\n]\n";
    return textTable(QString::fromLatin1("line mac version result sends ipways ipaddr mask gateway dns1 dns2")
                         .split(QLatin1Char(' ')),
                     rows);
}

} // namespace

int commission(const Options &o, Engine &engine)
{
    const bool setIp = o.command == Command::SetIp;
    QString error;
    QVector<PlanRow> rows = planRows(o, &error);
    if (!error.isEmpty()) {
        note(error);
        return BadInput;
    }
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

    QEventLoop loop;
    QTimer::singleShot(o.waitMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    engine.start();
    loop.exec();
    QVector<Known> known;
    for (const Device &device : engine.table.devices())
        known << Known{device.rec, localSubnets(device.seenOn)};
    const PlanCheck check = checkPlan(rows, known);
    if (setIp && check.candidates[0].isEmpty()) {
        note(QStringLiteral("no device %1 found").arg((o.mac + QLatin1Char(' ') + o.version).trimmed()));
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
    if (refused(o, jobs, true))
        return BadInput;

    int exit = Verified;
    for (int i = 0; i < jobs.size(); ++i) {
        Job &job = jobs[i];
        const QString who = job.row.request.mac + QLatin1Char(' ') + job.row.request.version;
        if (!runnable(job)) {
            const bool missing = check.candidates[i].isEmpty();
            finish(job, missing ? "not-found" : "refused", missing ? NotFound : BadInput);
        } else if (o.dryRun) {
            const QString command = QString::fromUtf8(protocol::setIpCommand(job.row.request));
            out(plainText(command).toUtf8() + '\n');
            finish(job, "dry-run", Verified);
        } else if (reportsRequested(job.device.rec, job.row.request)) {
            note(QStringLiteral("%1: has these settings already, nothing sent").arg(who));
            finish(job, "unchanged", Verified);
        } else {
            follow(job, o, engine);
        }
        exit = std::max(exit, job.exit);
    }
    engine.stop();
    if (!setIp)
        out(summary(o, jobs));
    else if (!o.dryRun)
        out(o.format == Format::Json ? deviceJson(jobs[0].device) + '\n' : devicesTable({jobs[0].device}));
    return exit;
}

} // namespace cli
