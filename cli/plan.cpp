#include "plan.h"

#include <algorithm>

#include "format.h"
#include "ipv4.h"

namespace cli {

namespace {

const QStringList Columns{QStringLiteral("mac"),  QStringLiteral("version"), QStringLiteral("mode"),
                          QStringLiteral("ip"),   QStringLiteral("mask"),    QStringLiteral("gateway"),
                          QStringLiteral("dns1"), QStringLiteral("dns2")};

// A field as the plan means it: the ' that CSV output puts before a text a spreadsheet would run
// as a formula dropped again, so that what list wrote reads back; then the blanks around it.
QString planField(const QString &field)
{
    const QString f = field.trimmed();
    return f.startsWith(QLatin1Char('\'')) && startsLikeFormula(f.mid(1)) ? f.mid(1).trimmed() : f;
}

PlanRow planRow(const CsvRecord &record)
{
    PlanRow row;
    row.line = record.line;
    QStringList f;
    for (const QString &field : record.fields)
        f << planField(field);
    if (f.size() < 3 || f.size() > Columns.size()) {
        row.error = QStringLiteral("%1 fields where 3 to 8 (%2) belong")
                        .arg(f.size())
                        .arg(Columns.join(QLatin1Char(',')));
        return row;
    }
    while (f.size() < Columns.size())
        f << QString();
    row.mac = f[0];
    row.version = f[1];
    SetIpRequest &r = row.request;
    r.ipways = f[2].toLower();
    r.ipaddr = f[3], r.mask = f[4], r.gateway = f[5], r.dns1 = f[6], r.dns2 = f[7];
    if (row.mac.isEmpty())
        row.error = QStringLiteral("no mac");
    else if (r.ipways != QLatin1String("static") && r.ipways != QLatin1String("dhcp"))
        row.error = QStringLiteral("mode %1 is neither static nor dhcp").arg(quoted(f[2]));
    else if (r.ipways == QLatin1String("static") && (r.ipaddr.isEmpty() || r.mask.isEmpty()))
        row.error = QStringLiteral("a static row needs ip and mask");
    else if (r.ipways == QLatin1String("dhcp") && !f.mid(3).join(QString()).isEmpty())
        row.error = QStringLiteral("a dhcp row takes no addresses");
    return row;
}

} // namespace

QVector<CsvRecord> readCsv(const QString &text, QString *error)
{
    QVector<CsvRecord> records;
    CsvRecord record{1, {QString()}};
    int line = 1;
    bool quoted = false, wasQuoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        QString &field = record.fields.last();
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"'))
                field += text[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
            line += c == QLatin1Char('\n');
        } else if (c == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == QLatin1Char(',')) {
            record.fields << QString();
            wasQuoted = false;
        } else if (c == QLatin1Char('\n') ||
                   (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))) {
            i += c == QLatin1Char('\r');
            records << record;
            record = {++line, {QString()}};
            wasQuoted = false;
        } else if (wasQuoted) {
            *error = QStringLiteral("line %1: text after the closing double quote of a field").arg(line);
            return {};
        } else {
            field += c;
        }
    }
    if (quoted) {
        *error = QStringLiteral("line %1: a double quote opens a field that never ends").arg(record.line);
        return {};
    }
    if (record.fields != QStringList{QString()})
        records << record; // the last record needs no line end
    return records;
}

QVector<PlanRow> readPlan(const QString &text, QString *error)
{
    // Spreadsheets write a byte order mark before the first field.
    const bool bom = text.startsWith(QChar(0xfeff));
    QVector<CsvRecord> records = readCsv(bom ? text.mid(1) : text, error);
    QVector<PlanRow> rows;
    bool first = true;
    for (const CsvRecord &record : qAsConst(records)) {
        if (record.fields.join(QString()).trimmed().isEmpty())
            continue; // a blank line
        const bool header = first && record.fields[0].trimmed().compare(Columns[0], Qt::CaseInsensitive) == 0;
        first = false;
        if (header) {
            QStringList header;
            for (const QString &field : record.fields)
                header << field.trimmed().toLower();
            if (header != Columns) {
                *error = QStringLiteral("line %1: the header row must be %2")
                             .arg(record.line)
                             .arg(Columns.join(QLatin1Char(',')));
                return {};
            }
            continue;
        }
        rows << planRow(record);
    }
    return rows;
}

bool names(const DeviceRecord &rec, const QString &mac, const QString &version)
{
    return rec.mac.compare(mac, Qt::CaseInsensitive) == 0 && (version.isEmpty() || rec.version == version);
}

bool PlanCheck::clean() const
{
    for (const auto &p : problems) {
        if (!p.isEmpty())
            return false;
    }
    return true;
}

namespace {

bool sendable(const QVector<Problem> &problems)
{
    return std::all_of(problems.cbegin(), problems.cend(), [](const Problem &p) { return p.forceable; });
}

// Orders the sendable rows so that a row goes after every row whose device holds the address it
// takes and gives it up; rows on a ring of such waits get a problem instead.
void orderRows(const QVector<PlanRow> &rows, const QVector<Known> &known, const QVector<bool> &moved,
               PlanCheck &check)
{
    const int n = rows.size();
    QVector<bool> runs(n);
    for (int r = 0; r < n; ++r)
        runs[r] = check.device[r] >= 0 && sendable(check.problems[r]);
    QVector<QVector<int>> after(n); // after[r]: the rows r waits for
    for (int r = 0; r < n; ++r) {
        if (!runs[r] || rows[r].request.ipways != QLatin1String("static"))
            continue;
        for (int q = 0; q < n; ++q) {
            const int k = check.device[q];
            if (q != r && runs[q] && moved[k] && known[k].rec.ipaddr == rows[r].request.ipaddr)
                after[r] << q;
        }
    }
    QVector<bool> placed(n, false);
    for (bool progress = true; progress;) {
        progress = false;
        for (int r = 0; r < n; ++r) { // the earliest row that waits for nothing unplaced
            if (placed[r] ||
                !std::all_of(after[r].cbegin(), after[r].cend(), [&](int q) { return placed[q]; }))
                continue;
            check.order << r;
            placed[r] = progress = true;
            break;
        }
    }
    // What is left waits, directly or not, for a ring. Rows on the ring are refused; a row that
    // only waits for one keeps its place at the end, where the check before each send stops it.
    auto reaches = [&](int from, int to) {
        QVector<int> todo{from};
        QVector<bool> seen(n, false);
        while (!todo.isEmpty()) {
            for (int q : after[todo.takeLast()]) {
                if (q == to)
                    return true;
                if (!seen[q] && !placed[q])
                    seen[q] = true, todo << q;
            }
        }
        return false;
    };
    QVector<int> ring;
    for (int r = 0; r < n; ++r) {
        if (!placed[r] && reaches(r, r))
            ring << r;
    }
    for (int r : qAsConst(ring)) {
        QStringList lines;
        for (int q : qAsConst(ring)) {
            if (q == r || (reaches(r, q) && reaches(q, r)))
                lines << QString::number(rows[q].line);
        }
        const QString last = lines.takeLast();
        check.problems[r] << Problem{QStringLiteral("lines %1 and %2 take each other's addresses, so none "
                                                    "of them is free first: move one of these devices to "
                                                    "a free address in a plan of its own, then the others")
                                         .arg(lines.join(QLatin1String(", ")), last),
                                     false};
    }
    for (int r = 0; r < n; ++r) {
        if (!placed[r])
            check.order << r;
    }
}

} // namespace

PlanCheck checkPlan(QVector<PlanRow> &rows, const QVector<Known> &known)
{
    PlanCheck check;
    check.device.fill(-1, rows.size());
    check.candidates.resize(rows.size());
    check.problems.resize(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        PlanRow &row = rows[r];
        for (int k = 0; k < known.size(); ++k) {
            if (names(known[k].rec, row.mac, row.version))
                check.candidates[r] << k;
        }
        const QVector<int> &c = check.candidates[r];
        const QString device = (row.mac + QLatin1Char(' ') + row.version).trimmed();
        if (!row.error.isEmpty()) {
            check.problems[r] << Problem{row.error, false};
        } else if (c.isEmpty()) {
            check.problems[r] << Problem{QStringLiteral("no device %1 was found").arg(quoted(device)), false};
        } else if (c.size() > 1) {
            QStringList which;
            for (int k : c)
                which << known[k].rec.mac + QLatin1Char(' ') + known[k].rec.version;
            check.problems[r] << Problem{
                QStringLiteral("%1 names %2 devices: %3")
                    .arg(device, QString::number(c.size()), which.join(QLatin1String(", "))),
                false};
        } else if (check.device.contains(c[0])) {
            check.problems[r] << Problem{QStringLiteral("%1 has a row already").arg(device), false};
        } else {
            check.device[r] = c[0];
            row.request.mac = known[c[0]].rec.mac;
            row.request.version = known[c[0]].rec.version;
        }
    }
    // A device leaves its address only when its row can be sent at all: a row that is skipped,
    // even under --force, leaves its device where it is.
    QVector<bool> moved(known.size(), false);
    for (int r = 0; r < rows.size(); ++r) {
        const int k = check.device[r];
        if (k >= 0 && sendable(checkRequest(rows[r].request, {})))
            moved[k] = rows[r].request.ipways == QLatin1String("dhcp") ||
                       rows[r].request.ipaddr != known[k].rec.ipaddr;
    }
    for (int r = 0; r < rows.size(); ++r) {
        const int k = check.device[r];
        if (k < 0)
            continue;
        CheckContext context{{}, known[k].localSubnets};
        for (int other = 0; other < known.size(); ++other) {
            if (other != k && !moved[other])
                context.others << known[other].rec;
        }
        check.problems[r] += checkRequest(rows[r].request, context);
        for (int earlier = 0; earlier < r; ++earlier) {
            const auto &a = rows[earlier].request, &b = rows[r].request;
            // A malformed address is refused already, and may be long.
            if (check.device[earlier] >= 0 && a.ipways == QLatin1String("static") &&
                b.ipways == QLatin1String("static") && a.ipaddr == b.ipaddr && parseIpv4(a.ipaddr))
                check.problems[r] << Problem{QStringLiteral("%1 is given to line %2 too")
                                                 .arg(b.ipaddr, QString::number(rows[earlier].line))};
        }
    }
    orderRows(rows, known, moved, check);
    return check;
}

} // namespace cli
