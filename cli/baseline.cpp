#include "baseline.h"

#include "conflicts.h"
#include "ipv4.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace cli {

namespace {

QByteArray stringsJson(const QStringList &texts)
{
    QByteArrayList items;
    for (const QString &t : texts)
        items << jsonString(t);
    return '[' + items.join(',') + ']';
}

// "file:3:17": the line and column (in code points) of a byte offset.
QString position(const QByteArray &bytes, const QString &name, int offset)
{
    const QByteArray before = bytes.left(offset);
    const int lineStart = before.lastIndexOf('\n') + 1;
    return QStringLiteral("%1:%2:%3")
        .arg(name)
        .arg(before.count('\n') + 1)
        .arg(QString::fromUtf8(before.mid(lineStart)).toUcs4().size() + 1);
}

// A string member of at most SnapshotMaxField characters; an absent one when optional.
bool text(const QJsonObject &o, const char *key, QString *out, QString *error, bool optional = false)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() && optional)
        return true;
    if (!v.isString())
        *error =
            QStringLiteral("\"%1\" %2")
                .arg(QLatin1String(key), QLatin1String(v.isUndefined() ? "is missing" : "is not a string"));
    else if (v.toString().size() > SnapshotMaxField)
        *error = QStringLiteral("\"%1\" is longer than %2 characters")
                     .arg(QLatin1String(key))
                     .arg(SnapshotMaxField);
    else
        *out = v.toString();
    return error->isEmpty();
}

bool strings(const QJsonValue &v, const char *key, QStringList *out, QString *error)
{
    if (!v.isArray() || v.toArray().size() > 256)
        return *error =
                   QStringLiteral("\"%1\" is not an array of at most 256 strings").arg(QLatin1String(key)),
               false;
    for (const QJsonValue item : v.toArray()) {
        if (!item.isString() || item.toString().size() > SnapshotMaxField)
            return *error = QStringLiteral("\"%1\" holds an item that is not a short string")
                                .arg(QLatin1String(key)),
                   false;
        *out << item.toString();
    }
    return true;
}

bool readDevice(const QJsonValue &value, Device *d, QString *error)
{
    if (!value.isObject())
        return *error = QStringLiteral("is not an object"), false;
    const QJsonObject o = value.toObject();
    for (const auto &[key, field] : ReplyFields) {
        if (!text(o, key, &(d->rec.*field), error))
            return false;
    }
    if (d->rec.mac.isEmpty() || deviceKey(d->rec.mac).isEmpty())
        return *error = QStringLiteral("\"mac\" is empty"), false;
    const QJsonValue seenOn = o.value(QLatin1String("seen_on"));
    if (!seenOn.isUndefined() && (!seenOn.isArray() || seenOn.toArray().size() > 256))
        return *error = QStringLiteral("\"seen_on\" is not an array of at most 256 objects"), false;
    for (const QJsonValue s : seenOn.toArray()) {
        SeenOn on;
        if (!s.isObject() || !text(s.toObject(), "address", &on.address, error) ||
            !text(s.toObject(), "interface", &on.interfaceName, error, true))
            return *error = QStringLiteral("\"seen_on\": ") +
                            (error->isEmpty() ? QStringLiteral("not an object") : *error),
                   false;
        d->seenOn << on;
    }
    const QJsonValue conflicts = o.value(QLatin1String("conflicts")),
                     reachable = o.value(QLatin1String("reachable"));
    if (!conflicts.isUndefined() || !reachable.isUndefined()) {
        Device::Notes notes;
        if (!strings(conflicts, "conflicts", &notes.conflicts, error))
            return false;
        if (!reachable.isBool())
            return *error = QStringLiteral("\"reachable\" is not true or false"), false;
        notes.reachable = reachable.toBool();
        d->notes = notes;
    }
    return true;
}

bool readHost(const QJsonValue &value, Snapshot *s, QString *error)
{
    const QJsonObject host = value.toObject();
    if (!value.isObject() || !text(host, "name", &s->hostName, error, true))
        return *error = QStringLiteral("\"host\": ") +
                        (error->isEmpty() ? QStringLiteral("not an object") : *error),
               false;
    const QJsonValue interfaces = host.value(QLatin1String("interfaces"));
    if (!interfaces.isUndefined() && (!interfaces.isArray() || interfaces.toArray().size() > 4096))
        return *error = QStringLiteral("\"host\": \"interfaces\" is not an array"), false;
    for (const QJsonValue i : interfaces.toArray()) {
        HostInterface hi;
        if (!i.isObject() || !text(i.toObject(), "name", &hi.name, error) ||
            !strings(i.toObject().value(QLatin1String("addresses")), "addresses", &hi.addresses, error))
            return *error = QStringLiteral("\"host\": \"interfaces\": ") +
                            (error->isEmpty() ? QStringLiteral("not an object") : *error),
                   false;
        s->interfaces << hi;
    }
    return true;
}

// The device of each MAC that replied last.
QHash<QString, int> byMac(const QVector<Device> &devices)
{
    QHash<QString, int> index;
    for (int i = 0; i < devices.size(); ++i) {
        const QString key = deviceKey(devices[i].rec.mac);
        const auto it = index.constFind(key);
        if (it == index.cend() || devices[*it].rec.cnt <= devices[i].rec.cnt)
            index[key] = i;
    }
    return index;
}

// Each address two or more hold, with its holders in a stable order.
QMap<quint32, QStringList> conflictsOf(const Snapshot &s)
{
    const QVector<QStringList> others = addressConflicts(s.devices, hostAddressesOf(s));
    QMap<quint32, QStringList> held;
    for (int i = 0; i < s.devices.size(); ++i) {
        if (others[i].isEmpty())
            continue;
        QStringList holders = others[i];
        holders << s.devices[i].rec.mac;
        for (QString &h : holders)
            h = h == hostHolder() ? h : deviceKey(h);
        holders.removeDuplicates();
        std::sort(holders.begin(), holders.end());
        held[*parseIpv4(s.devices[i].rec.ipaddr)] = holders;
    }
    return held;
}

QByteArray changedJson(const SnapshotDiff::Changed &c)
{
    return jsonObject({{QStringLiteral("mac"), jsonString(c.device.rec.mac)},
                       {QStringLiteral("version"), jsonString(c.device.rec.version)},
                       {QStringLiteral("field"), jsonString(c.field)},
                       {QStringLiteral("old"), jsonString(c.before)},
                       {QStringLiteral("new"), jsonString(c.after)},
                       {QStringLiteral("device"), deviceJson(c.device)}});
}

template <typename T, typename F> QByteArray arrayJson(const QVector<T> &items, F json)
{
    QByteArrayList out;
    for (const T &item : items)
        out << "\n  " + json(item);
    return '[' + out.join(',') + (out.isEmpty() ? "]" : "\n]");
}

} // namespace

QString deviceKey(const QString &mac)
{
    QString key;
    for (const QChar c : mac) {
        if (c != QLatin1Char(':') && c != QLatin1Char('-') && c != QLatin1Char('.') && !c.isSpace())
            key += c.toLower();
    }
    return key;
}

QByteArray snapshotJson(const Snapshot &s)
{
    QByteArrayList interfaces, devices;
    for (const HostInterface &i : s.interfaces)
        interfaces << jsonObject({{QStringLiteral("name"), jsonString(i.name)},
                                  {QStringLiteral("addresses"), stringsJson(i.addresses)}});
    for (const Device &d : s.devices)
        devices << "\n  " + deviceJson(d);
    return jsonObject(
               {{QStringLiteral("format_version"), QByteArray::number(SnapshotFormat)},
                {QStringLiteral("taken"), jsonString(s.taken)},
                {QStringLiteral("host"),
                 jsonObject({{QStringLiteral("name"), jsonString(s.hostName)},
                             {QStringLiteral("interfaces"), '[' + interfaces.join(',') + ']'}})},
                {QStringLiteral("devices"), '[' + devices.join(',') + (devices.isEmpty() ? "]" : "\n]")}}) +
           '\n';
}

std::optional<Snapshot> readSnapshot(const QByteArray &bytes, const QString &name, QString *error)
{
    if (bytes.size() > SnapshotMaxBytes)
        return *error = QStringLiteral("%1: larger than %2 MiB").arg(name).arg(SnapshotMaxBytes >> 20),
               std::nullopt;
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError)
        return *error = QStringLiteral("%1: not JSON: %2")
                            .arg(position(bytes, name, parse.offset), parse.errorString()),
               std::nullopt;
    const QJsonObject root = doc.object();
    const QJsonValue version = root.value(QLatin1String("format_version"));
    const QString where = name + QLatin1String(": ");
    if (!doc.isObject())
        return *error = where + QLatin1String("not a snapshot (a JSON object)"), std::nullopt;
    if (version != QJsonValue(SnapshotFormat))
        return *error = where + (version.isUndefined()
                                     ? QStringLiteral("no \"format_version\"")
                                     : QStringLiteral("\"format_version\" %1 is not %2")
                                           .arg(quoted(QString::fromUtf8(QJsonDocument(QJsonArray{version})
                                                                             .toJson(QJsonDocument::Compact))
                                                           .mid(1)
                                                           .chopped(1)))
                                           .arg(SnapshotFormat)),
               std::nullopt;
    Snapshot s;
    QString e;
    if (!text(root, "taken", &s.taken, &e, true) ||
        (root.contains(QLatin1String("host")) && !readHost(root.value(QLatin1String("host")), &s, &e)))
        return *error = where + e, std::nullopt;
    const QJsonValue devices = root.value(QLatin1String("devices"));
    if (!devices.isArray())
        return *error = where + QLatin1String("\"devices\" is not an array"), std::nullopt;
    QHash<QString, int> seen;
    for (const QJsonValue d : devices.toArray()) {
        Device device;
        const QString entry = QStringLiteral("devices[%1]").arg(s.devices.size());
        if (!readDevice(d, &device, &e))
            return *error = where + entry + QLatin1String(": ") + e, std::nullopt;
        const QString key = deviceKey(device.rec.mac);
        if (seen.contains(key))
            return *error = QStringLiteral("%1devices[%2] and %3 name one device, MAC %4 and %5: a snapshot "
                                           "holds each MAC once")
                                .arg(where)
                                .arg(seen[key])
                                .arg(entry, quoted(s.devices[seen[key]].rec.mac), quoted(device.rec.mac)),
                   std::nullopt;
        seen[key] = s.devices.size();
        s.devices << device;
    }
    return s;
}

std::optional<Snapshot> readSnapshotFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return *error = QStringLiteral("cannot read %1: %2").arg(quoted(path), file.errorString()),
               std::nullopt;
    // Read one byte past the limit, so that a pipe too is measured without reading it all.
    const QByteArray bytes = file.read(SnapshotMaxBytes + 1);
    return readSnapshot(bytes, path, error);
}

QSet<quint32> hostAddressesOf(const Snapshot &s)
{
    QSet<quint32> addresses;
    for (const HostInterface &i : s.interfaces) {
        for (const QString &a : i.addresses) {
            if (const auto address = parseIpv4(a.section(QLatin1Char('/'), 0, 0)))
                addresses << *address;
        }
    }
    return addresses;
}

bool SnapshotDiff::isEmpty() const
{
    return missing.isEmpty() && added.isEmpty() && moved.isEmpty() && changed.isEmpty() &&
           conflicts.isEmpty();
}

SnapshotDiff diffSnapshots(const Snapshot &baseline, const Snapshot &now)
{
    SnapshotDiff diff;
    const QHash<QString, int> before = byMac(baseline.devices), after = byMac(now.devices);
    for (const Device &b : baseline.devices) {
        if (!after.contains(deviceKey(b.rec.mac)))
            diff.missing << b;
    }
    for (int i = 0; i < now.devices.size(); ++i) {
        const Device &d = now.devices[i];
        const QString key = deviceKey(d.rec.mac);
        if (after[key] != i)
            continue;
        if (!before.contains(key)) {
            diff.added << d;
            continue;
        }
        const DeviceRecord &was = baseline.devices[before[key]].rec;
        if (was.ipaddr != d.rec.ipaddr)
            diff.moved << SnapshotDiff::Moved{d, was.ipaddr, d.rec.ipaddr};
        for (const auto &[name, field] : ReplyFields) {
            if (field != &DeviceRecord::ipaddr && field != &DeviceRecord::mac && was.*field != d.rec.*field)
                diff.changed << SnapshotDiff::Changed{d, QLatin1String(name), was.*field, d.rec.*field};
        }
    }
    const QMap<quint32, QStringList> held = conflictsOf(baseline), holds = conflictsOf(now);
    for (auto it = holds.cbegin(); it != holds.cend(); ++it) {
        if (held.value(it.key()) != it.value())
            diff.conflicts << SnapshotDiff::Conflict{ipv4Text(it.key()), it.value()};
    }
    return diff;
}

QByteArray diffJson(const SnapshotDiff &diff)
{
    return jsonObject({{QStringLiteral("format_version"), QByteArray::number(SnapshotFormat)},
                       {QStringLiteral("missing"), arrayJson(diff.missing, deviceJson)},
                       {QStringLiteral("new"), arrayJson(diff.added, deviceJson)},
                       {QStringLiteral("moved"),
                        arrayJson(diff.moved,
                                  [](const SnapshotDiff::Moved &m) {
                                      return jsonObject(
                                          {{QStringLiteral("mac"), jsonString(m.device.rec.mac)},
                                           {QStringLiteral("version"), jsonString(m.device.rec.version)},
                                           {QStringLiteral("from"), jsonString(m.from)},
                                           {QStringLiteral("to"), jsonString(m.to)},
                                           {QStringLiteral("device"), deviceJson(m.device)}});
                                  })},
                       {QStringLiteral("changed"), arrayJson(diff.changed, changedJson)},
                       {QStringLiteral("conflicts"),
                        arrayJson(diff.conflicts,
                                  [](const SnapshotDiff::Conflict &c) {
                                      return jsonObject(
                                          {{QStringLiteral("ipaddr"), jsonString(c.ipaddr)},
                                           {QStringLiteral("holders"), stringsJson(c.holders)}});
                                  })}}) +
           '\n';
}

QByteArray diffText(const SnapshotDiff &diff)
{
    if (diff.isEmpty())
        return {};
    QVector<QStringList> rows;
    const QString arrow = QStringLiteral(" -> ");
    for (const Device &d : diff.missing)
        rows << QStringList{QStringLiteral("missing"), d.rec.mac, d.rec.version, d.rec.ipaddr};
    for (const Device &d : diff.added)
        rows << QStringList{QStringLiteral("new"), d.rec.mac, d.rec.version, d.rec.ipaddr};
    for (const SnapshotDiff::Moved &m : diff.moved)
        rows << QStringList{QStringLiteral("moved"), m.device.rec.mac, m.device.rec.version,
                            m.from + arrow + m.to};
    // Each value escaped before the arrow joins them: "a -> b" in a value can't pass for one.
    for (const SnapshotDiff::Changed &c : diff.changed)
        rows << QStringList{QStringLiteral("changed"), c.device.rec.mac, c.device.rec.version,
                            c.field + QLatin1String(": ") + textValue(c.before) + arrow + textValue(c.after)};
    for (const SnapshotDiff::Conflict &c : diff.conflicts)
        rows << QStringList{QStringLiteral("conflict"), QString(), QString(),
                            c.ipaddr + QLatin1String(" held by ") + c.holders.join(QLatin1String(", "))};
    return textTable({QStringLiteral("difference"), QStringLiteral("mac"), QStringLiteral("version"),
                      QStringLiteral("details")},
                     rows);
}

BaselineWatch::BaselineWatch(const QVector<Device> &baseline)
{
    for (const Device &d : baseline) {
        m_index.insert(deviceKey(d.rec.mac), m_entries.size());
        m_entries << Entry{d, d.rec.ipaddr};
    }
}

BaselineWatch::Entry *BaselineWatch::entry(const Device &device)
{
    const auto it = m_index.constFind(deviceKey(device.rec.mac));
    return it == m_index.cend() ? nullptr : &m_entries[*it];
}

QVector<BaselineWatch::Event> BaselineWatch::moved(Entry &e, const Device &device)
{
    if (device.rec.ipaddr == e.address)
        return {};
    const QString from = e.address;
    e.address = device.rec.ipaddr;
    return {{BaselineEvent::Moved, device, from}};
}

QVector<BaselineWatch::Event> BaselineWatch::added(const Device &device)
{
    Entry *e = entry(device);
    if (!e)
        return {{BaselineEvent::New, device, {}}};
    QVector<Event> events;
    if (e->present++ == 0 && e->missing)
        events << Event{BaselineEvent::Returned, device, {}};
    e->missing = false;
    return events + moved(*e, device);
}

QVector<BaselineWatch::Event> BaselineWatch::changed(const Device &device)
{
    Entry *e = entry(device);
    return e ? moved(*e, device) : QVector<Event>{};
}

QVector<BaselineWatch::Event> BaselineWatch::removed(const Device &device)
{
    Entry *e = entry(device);
    if (!e || --e->present > 0 || !m_searched)
        return {};
    e->missing = true;
    return {{BaselineEvent::Missing, e->baseline, {}}};
}

QVector<BaselineWatch::Event> BaselineWatch::searched()
{
    QVector<Event> events;
    if (m_searched)
        return events;
    m_searched = true;
    for (Entry &e : m_entries) {
        if (!e.present && !e.missing) {
            e.missing = true;
            events << Event{BaselineEvent::Missing, e.baseline, {}};
        }
    }
    return events;
}

QByteArray baselineLine(Format format, const QDateTime &time, const BaselineWatch::Event &event)
{
    const QString when = time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
    const char *names[] = {"missing", "returned", "new", "moved"};
    const QLatin1String name(names[int(event.kind)]);
    const DeviceRecord &rec = event.device.rec;
    if (format == Format::Jsonl) {
        QVector<QPair<QString, QByteArray>> members{{QStringLiteral("time"), jsonString(when)},
                                                    {QStringLiteral("event"), jsonString(name)}};
        if (event.kind == BaselineEvent::Moved)
            members << qMakePair(QStringLiteral("from"), jsonString(event.from))
                    << qMakePair(QStringLiteral("to"), jsonString(rec.ipaddr));
        members << qMakePair(QStringLiteral("device"), deviceJson(event.device));
        return jsonObject(members) + '\n';
    }
    QStringList words{when, name, QStringLiteral("mac=") + textValue(rec.mac),
                      QStringLiteral("version=") + textValue(rec.version)};
    if (event.kind == BaselineEvent::Moved)
        words << QStringLiteral("from=") + textValue(event.from)
              << QStringLiteral("to=") + textValue(rec.ipaddr);
    else
        words << QStringLiteral("ipaddr=") + textValue(rec.ipaddr);
    return words.join(QLatin1Char(' ')).toUtf8() + '\n';
}

QVector<PlanRow> baselineRows(const Snapshot &baseline)
{
    QVector<PlanRow> rows;
    for (const Device &d : baseline.devices) {
        PlanRow row{int(rows.size()) + 1, d.rec.mac, QString(), {}, QString()};
        SetIpRequest &r = row.request;
        r.ipways = d.rec.ipways;
        if (r.ipways == QLatin1String("static"))
            r.ipaddr = d.rec.ipaddr, r.mask = d.rec.mask, r.gateway = d.rec.gateway, r.dns1 = d.rec.dns1,
            r.dns2 = d.rec.dns2;
        else if (r.ipways != QLatin1String("dhcp"))
            row.error = QStringLiteral("its ipways in the baseline, %1, is neither static nor dhcp")
                            .arg(quoted(r.ipways));
        rows << row;
    }
    return rows;
}

QVector<PlanRow> rowsToRestore(const QVector<PlanRow> &rows, const QVector<Device> &found, QStringList *notes)
{
    const QHash<QString, int> index = byMac(found);
    QVector<PlanRow> kept;
    for (PlanRow row : rows) {
        const auto it = index.constFind(deviceKey(row.mac));
        const QString who = QStringLiteral("baseline entry %1 (%2)").arg(row.line).arg(quoted(row.mac));
        if (it == index.cend()) {
            *notes << who + QLatin1String(": not found, not restored");
            continue;
        }
        const DeviceRecord &now = found[*it].rec;
        const bool static_ = row.request.ipways == QLatin1String("static");
        if (now.ipways == row.request.ipways && (!static_ || now.ipaddr == row.request.ipaddr))
            continue;      // where the baseline has it (a DHCP device's lease is the server's to move)
        row.mac = now.mac; // as the device writes it, which plan checks take letter case aside only
        kept << row;
    }
    return kept;
}

} // namespace cli
