#include "journal.h"

#include "format.h"
#include "ipv4.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {

namespace {

const char *const Settings[] = {"ipways", "ipaddr", "mask", "gateway", "dns1", "dns2"};
const QStringList ChangeKeys = {
    QStringLiteral("format_version"), QStringLiteral("time"),     QStringLiteral("id"),
    QStringLiteral("command"),        QStringLiteral("mac"),      QStringLiteral("version"),
    QStringLiteral("before"),         QStringLiteral("requested")};
const QStringList OutcomeKeys = {
    QStringLiteral("format_version"), QStringLiteral("time"), QStringLiteral("id"),
    QStringLiteral("outcome"),        QStringLiteral("exit"), QStringLiteral("sends")};
const QStringList Outcomes = {QStringLiteral("verified"), QStringLiteral("timeout"),
                              QStringLiteral("mismatch"), QStringLiteral("interrupted")};

QString *setting(SetIpRequest &r, int i)
{
    QString *const fields[] = {&r.ipways, &r.ipaddr, &r.mask, &r.gateway, &r.dns1, &r.dns2};
    return fields[i];
}

// The nine fields in reply order, as fieldNames() names them.
QVector<QString *> replyFields(DeviceRecord &r)
{
    return {&r.version, &r.ipways, &r.ipaddr, &r.mask, &r.gateway, &r.mac, &r.dns1, &r.dns2, &r.extra};
}

QByteArray text(const QString &value)
{
    return jsonString(value.left(JournalMaxField));
}

QByteArray requestedJson(SetIpRequest r)
{
    QVector<QPair<QString, QByteArray>> members;
    for (int i = 0; i < 6; ++i)
        members.append({QLatin1String(Settings[i]), text(*setting(r, i))});
    return jsonObject(members);
}

QByteArray beforeJson(DeviceRecord r)
{
    QVector<QPair<QString, QByteArray>> members;
    const QStringList names = fieldNames();
    const QVector<QString *> fields = replyFields(r);
    for (int i = 0; i < names.size(); ++i)
        members.append({names[i], text(*fields[i])});
    return jsonObject(members);
}

// Reads one line's object; every complaint goes to warnings as "line N: ...". A string longer
// than JournalMaxField or of another type, where a text belongs, makes the line unreadable.
class LineReader
{
public:
    LineReader(int line, QStringList &warnings) : m_line(line), m_warnings(warnings) {}

    void warn(const QString &what) { m_warnings << QStringLiteral("line %1: %2").arg(m_line).arg(what); }
    bool failed() const { return m_failed; }
    void fail(const QString &what)
    {
        if (!m_failed)
            warn(what + QLatin1String(", skipped"));
        m_failed = true;
    }
    void unknownKeys(const QJsonObject &o, const QStringList &known, const QString &prefix = QString())
    {
        for (const QString &key : o.keys()) {
            if (!known.contains(key))
                warn(QStringLiteral("unknown key %1 ignored").arg(quoted(prefix + key)));
        }
    }
    // required: missing is a failure too. Returns false when the member is missing or wrong.
    bool string(const QJsonObject &o, const QString &key, QString *out, bool required,
                const QString &prefix = QString())
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined()) {
            if (required)
                fail(QStringLiteral("no %1").arg(prefix + key));
            return false;
        }
        if (!v.isString()) {
            fail(QStringLiteral("%1 is not a text").arg(prefix + key));
            return false;
        }
        const QString s = v.toString();
        if (s.size() > JournalMaxField) {
            fail(QStringLiteral("%1 is %2 characters long (at most %3)")
                     .arg(prefix + key)
                     .arg(s.size())
                     .arg(JournalMaxField));
            return false;
        }
        *out = s;
        return true;
    }
    bool time(const QJsonObject &o, QString *out)
    {
        if (string(o, QStringLiteral("time"), out, true) &&
            !QDateTime::fromString(*out, Qt::ISODateWithMs).isValid())
            fail(QStringLiteral("time %1 is not an ISO 8601 time").arg(quoted(*out)));
        return !m_failed;
    }
    int number(const QJsonObject &o, const QString &key, int min, int max)
    {
        const QJsonValue v = o.value(key);
        const double d = v.toDouble(-1);
        if (!v.isDouble() || d != int(d) || d < min || d > max)
            fail(QStringLiteral("%1 is not a whole number from %2 to %3").arg(key).arg(min).arg(max));
        return int(d);
    }

private:
    int m_line;
    QStringList &m_warnings;
    bool m_failed = false;
};

void readChange(const QJsonObject &o, LineReader &r, JournalEntry &e)
{
    r.unknownKeys(o, ChangeKeys);
    r.time(o, &e.time);
    r.string(o, QStringLiteral("id"), &e.id, true);
    r.string(o, QStringLiteral("mac"), &e.mac, true);
    r.string(o, QStringLiteral("version"), &e.version, false);
    r.string(o, QStringLiteral("command"), &e.command, false);
    if (!r.failed() && (e.id.isEmpty() || e.mac.isEmpty()))
        r.fail(QStringLiteral("empty id or mac"));

    // What before lacks only stops an undo from it; the line is still history.
    const QJsonValue before = o.value(QStringLiteral("before"));
    QStringList missing;
    if (!before.isObject()) {
        e.problem = QStringLiteral("before is not an object");
    } else {
        const QStringList names = fieldNames();
        r.unknownKeys(before.toObject(), names, QStringLiteral("before."));
        const QVector<QString *> fields = replyFields(e.before);
        for (int i = 0; i < names.size(); ++i) {
            if (!r.string(before.toObject(), names[i], fields[i], false, QStringLiteral("before.")))
                missing << names[i];
        }
        if (!missing.isEmpty())
            e.problem = QStringLiteral("before has no %1").arg(missing.join(QLatin1String(", ")));
    }
    const QJsonObject requested = o.value(QStringLiteral("requested")).toObject();
    QStringList settings;
    for (const char *name : Settings)
        settings << QLatin1String(name);
    r.unknownKeys(requested, settings, QStringLiteral("requested."));
    for (int i = 0; i < 6; ++i)
        r.string(requested, settings[i], setting(e.requested, i), false, QStringLiteral("requested."));
}

QString settingsText(const DeviceRecord &r)
{
    return r.ipways == QLatin1String("static") ? r.ipways + QLatin1Char(' ') + r.ipaddr : r.ipways;
}

} // namespace

QString journalTime(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QByteArray changeLine(const JournalEntry &e)
{
    return jsonObject({{QStringLiteral("format_version"), QByteArray::number(JournalFormat)},
                       {QStringLiteral("time"), text(e.time)},
                       {QStringLiteral("id"), text(e.id)},
                       {QStringLiteral("command"), text(e.command)},
                       {QStringLiteral("mac"), text(e.mac)},
                       {QStringLiteral("version"), text(e.version)},
                       {QStringLiteral("before"), beforeJson(e.before)},
                       {QStringLiteral("requested"), requestedJson(e.requested)}}) +
           '\n';
}

QByteArray outcomeLine(const QString &time, const QString &id, const QString &outcome, int exit, int sends)
{
    return jsonObject({{QStringLiteral("format_version"), QByteArray::number(JournalFormat)},
                       {QStringLiteral("time"), text(time)},
                       {QStringLiteral("id"), text(id)},
                       {QStringLiteral("outcome"), text(outcome)},
                       {QStringLiteral("exit"), QByteArray::number(exit)},
                       {QStringLiteral("sends"), QByteArray::number(sends)}}) +
           '\n';
}

JournalRead readJournal(const QByteArray &text)
{
    JournalRead result;
    const QList<QByteArray> lines = text.split('\n');
    QHash<QString, int> byId; // an entry's index by its id
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        LineReader r(i + 1, result.warnings);
        if (line.size() > JournalMaxLine) {
            r.fail(QStringLiteral("%1 bytes long").arg(line.size()));
            continue;
        }
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (!document.isObject()) {
            r.fail(QStringLiteral("not a JSON object (%1, cut short?): %2")
                       .arg(error.error ? error.errorString() : QStringLiteral("another value"),
                            quoted(QString::fromUtf8(line))));
            continue;
        }
        const QJsonObject o = document.object();
        const QJsonValue format = o.value(QStringLiteral("format_version"));
        if (format.toDouble() != JournalFormat) {
            r.fail(format.isUndefined() ? QStringLiteral("no format_version")
                   : format.isDouble()  ? QStringLiteral("format_version %1 unknown").arg(format.toDouble())
                                        : QStringLiteral("format_version is not a number"));
            continue;
        }
        if (!o.contains(QStringLiteral("outcome"))) {
            JournalEntry e;
            e.line = i + 1;
            readChange(o, r, e);
            if (!r.failed() && byId.contains(e.id))
                r.fail(QStringLiteral("id %1 was used before").arg(quoted(e.id)));
            if (!r.failed())
                byId.insert(e.id, int(result.entries.size())), result.entries << e;
            continue;
        }
        r.unknownKeys(o, OutcomeKeys);
        QString time, id, outcome;
        r.time(o, &time);
        r.string(o, QStringLiteral("id"), &id, true);
        r.string(o, QStringLiteral("outcome"), &outcome, true);
        const int exit = r.number(o, QStringLiteral("exit"), 0, 255);
        const int sends =
            o.contains(QStringLiteral("sends")) ? r.number(o, QStringLiteral("sends"), 0, 1000) : -1;
        if (!r.failed() && !Outcomes.contains(outcome))
            r.fail(QStringLiteral("outcome %1 unknown").arg(quoted(outcome)));
        const int at = byId.value(id, -1);
        if (!r.failed() && at < 0)
            r.fail(QStringLiteral("outcome of %1, a change not read before").arg(quoted(id)));
        else if (!r.failed() && !result.entries[at].outcome.isEmpty())
            r.fail(QStringLiteral("a second outcome of %1").arg(quoted(id)));
        if (r.failed())
            continue;
        JournalEntry &change = result.entries[at];
        change.outcome = outcome, change.outcomeTime = time, change.exit = exit, change.sends = sends;
    }
    return result;
}

QVector<JournalEntry> entriesOf(const QVector<JournalEntry> &entries, const QString &mac)
{
    QVector<JournalEntry> found;
    for (const JournalEntry &e : entries) {
        if (mac.isEmpty() || e.mac.compare(mac, Qt::CaseInsensitive) == 0)
            found << e;
    }
    return found;
}

QByteArray historyJson(const QVector<JournalEntry> &entries)
{
    QByteArrayList items;
    for (const JournalEntry &e : entries) {
        const bool done = !e.outcome.isEmpty();
        QByteArray change = changeLine(e).chopped(2); // without "}\n"
        items << change + ',' +
                     jsonObject(
                         {{QStringLiteral("outcome"), done ? jsonString(e.outcome) : "null"},
                          {QStringLiteral("outcome_time"), done ? jsonString(e.outcomeTime) : "null"},
                          {QStringLiteral("exit"), done ? QByteArray::number(e.exit) : "null"},
                          {QStringLiteral("sends"), e.sends >= 0 ? QByteArray::number(e.sends) : "null"}})
                         .mid(1);
    }
    return items.isEmpty() ? "[]\n" : "[\n" + items.join(",\n") + "\n]\n";
}

QByteArray historyTable(const QVector<JournalEntry> &entries)
{
    if (entries.isEmpty())
        return {};
    QVector<QStringList> rows;
    for (const JournalEntry &e : entries)
        rows << QStringList{e.time,
                            e.mac,
                            e.version,
                            e.command,
                            e.problem.isEmpty() ? settingsText(e.before) : QStringLiteral("?"),
                            settingsText(e.requested),
                            e.outcome.isEmpty() ? QStringLiteral("unknown") : e.outcome};
    return textTable(
        QString::fromLatin1("time mac version command before requested outcome").split(QLatin1Char(' ')),
        rows);
}

PlanRow undoRow(const JournalEntry &e, QString *error)
{
    PlanRow row{0, e.mac, QString(), SetIpRequest(), QString()};
    SetIpRequest &r = row.request;
    const DeviceRecord &b = e.before;
    QString why = e.problem;
    if (why.isEmpty() && b.ipways == QLatin1String("dhcp")) {
        r.ipways = b.ipways;
    } else if (why.isEmpty() && b.ipways == QLatin1String("static")) {
        r.ipways = b.ipways, r.ipaddr = b.ipaddr, r.mask = b.mask;
        r.gateway = b.gateway, r.dns1 = b.dns1, r.dns2 = b.dns2;
        for (int i = 1; i < 6 && why.isEmpty(); ++i) {
            const QString &value = *setting(r, i);
            if ((i <= 2 || !value.isEmpty()) && !parseIpv4(value))
                why = QStringLiteral("its %1 %2 is not a dotted IPv4 address")
                          .arg(QLatin1String(Settings[i]), quoted(value));
        }
    } else if (why.isEmpty()) {
        why = QStringLiteral("its ipways %1 is neither static nor dhcp").arg(quoted(b.ipways));
    }
    if (!why.isEmpty())
        *error =
            QStringLiteral("line %1: can't put %2 back as it was: %3").arg(e.line).arg(quoted(e.mac), why);
    return row;
}

} // namespace cli
