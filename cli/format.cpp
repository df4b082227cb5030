#include "format.h"

#include "protocol.h"

#include <algorithm>

namespace cli {

namespace {

constexpr int MaxCellWidth = 40;

bool isWide(uint c)
{
    return (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf && c != 0x303f) ||
           (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) ||
           (c >= 0xff00 && c <= 0xff60) || (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x1f300 && c <= 0x1f64f) ||
           (c >= 0x1f900 && c <= 0x1f9ff) || (c >= 0x20000 && c <= 0x3fffd);
}

int width(uint c)
{
    const auto category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing)
        return 0;
    return isWide(c) ? 2 : 1;
}

// The cell cut to MaxCellWidth columns, "..." marking the cut.
QString cell(const QString &text)
{
    const QString plain = plainText(text);
    if (displayWidth(plain) <= MaxCellWidth)
        return plain;
    QString cut;
    int columns = 0;
    for (const uint c : plain.toUcs4()) {
        if ((columns += width(c)) > MaxCellWidth - 3)
            break;
        cut += QString::fromUcs4(&c, 1);
    }
    return cut + QLatin1String("...");
}

QByteArray seenOnJson(const QVector<SeenOn> &seenOn)
{
    QByteArrayList items;
    for (const SeenOn &s : seenOn)
        items << jsonObject({{QStringLiteral("address"), jsonString(s.address)},
                             {QStringLiteral("interface"), jsonString(s.interfaceName)}});
    return '[' + items.join(',') + ']';
}

// The UTF-16 length of the code point at text[i]: 2 for a surrogate pair, else 1.
int pointSize(const QString &text, int i)
{
    return text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
}

bool printableAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

} // namespace

QString textValue(const QString &text)
{
    QString plain = plainText(text);
    const bool blank = std::any_of(plain.cbegin(), plain.cend(), [](QChar c) { return c.isSpace(); });
    if (!plain.isEmpty() && !blank && !plain.contains(QLatin1Char('"')))
        return plain;
    plain.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + plain + QLatin1Char('"');
}

QString plainText(const QString &text)
{
    // The trace's escapes first (C0 but TAB, DEL, C1, line and paragraph separators), then TAB,
    // format characters (Cf), lone surrogates and the block of tags and variation selectors
    // (U+E0000 to U+E0FFF, invisible all) as "\uXXXX" or, above U+FFFF, "\UXXXXXXXX".
    // Printable ASCII, what devices mostly send, has nothing to escape.
    if (printableAscii(text))
        return text;
    const QString visible = protocol::visibleControls(text);
    QString out;
    out.reserve(visible.size());
    for (int i = 0; i < visible.size();) {
        const int size = pointSize(visible, i);
        const uint c = size == 2 ? QChar::surrogateToUcs4(visible[i], visible[i + 1]) : visible[i].unicode();
        const auto category = QChar::category(c);
        if (c == '\t')
            out += QLatin1String("\\t");
        else if (category == QChar::Other_Format || category == QChar::Other_Surrogate ||
                 (c >= 0xe0000 && c <= 0xe0fff))
            out += c > 0xffff ? QStringLiteral("\\U%1").arg(c, 8, 16, QLatin1Char('0'))
                              : QStringLiteral("\\u%1").arg(c, 4, 16, QLatin1Char('0'));
        else
            out += visible.midRef(i, size);
        i += size;
    }
    return out;
}

QString quoted(const QString &text, int max)
{
    int end = 0, points = 0;
    for (; end < text.size(); end += pointSize(text, end)) {
        if (++points > max)
            break;
    }
    if (end == text.size())
        return QLatin1Char('"') + plainText(text) + QLatin1Char('"');
    for (int i = end; i < text.size(); i += pointSize(text, i))
        ++points;
    return QStringLiteral("\"%1...\" (%2 characters)")
        .arg(plainText(text.left(end)), QString::number(points - 1));
}

int displayWidth(const QString &text)
{
    if (printableAscii(text))
        return text.size();
    int columns = 0;
    for (const uint c : text.toUcs4())
        columns += width(c);
    return columns;
}

QByteArray jsonString(const QString &text)
{
    // Runs of text that need no escape are converted whole: a list of thousands of devices
    // is mostly such runs.
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    int from = 0;
    for (int i = 0; i < text.size(); ++i) {
        const ushort u = text[i].unicode();
        // U+2028 and U+2029 end a line in JavaScript.
        if (u >= 0x20 && u != '"' && u != '\\' && u != 0x2028 && u != 0x2029)
            continue;
        out += QStringView(text).mid(from, i - from).toUtf8();
        from = i + 1;
        if (u == '"' || u == '\\')
            out += '\\', out += char(u);
        else if (u == '\n')
            out += "\\n";
        else if (u == '\t')
            out += "\\t";
        else
            out += "\\u" + QByteArray::number(u, 16).rightJustified(4, '0');
    }
    out += QStringView(text).mid(from).toUtf8();
    out += '"';
    return out;
}

QByteArray jsonObject(const QVector<QPair<QString, QByteArray>> &members)
{
    QByteArray out = "{";
    for (const auto &[key, value] : members) {
        if (out.size() > 1)
            out += ',';
        out += jsonString(key) + ':' + value;
    }
    out += '}';
    return out;
}

QByteArray deviceJson(const Device &device)
{
    QVector<QPair<QString, QByteArray>> members;
    const QStringList names = fieldNames(), texts = fieldTexts(device.rec);
    for (int i = 0; i < names.size(); ++i)
        members.append({names[i], jsonString(texts[i])});
    members.append({QStringLiteral("seen_on"), seenOnJson(device.seenOn)});
    if (device.notes) {
        QByteArrayList conflicts;
        for (const QString &holder : device.notes->conflicts)
            conflicts << jsonString(holder);
        members.append({QStringLiteral("conflicts"), '[' + conflicts.join(',') + ']'});
        members.append({QStringLiteral("reachable"), device.notes->reachable ? "true" : "false"});
    }
    return jsonObject(members);
}

QByteArray devicesJson(const QVector<Device> &devices)
{
    if (devices.isEmpty())
        return "[]\n";
    // One buffer: a list of each device's text beside the joined whole would hold it all twice.
    QByteArray out = "[\n";
    for (const Device &device : devices)
        out += deviceJson(device) + ",\n";
    out.chop(2);
    out += "\n]\n";
    return out;
}

bool startsLikeFormula(const QString &text)
{
    return !text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text[0]);
}

QByteArray csvRecord(const QStringList &fields)
{
    QByteArrayList out;
    for (const QString &field : fields) {
        QByteArray f = (startsLikeFormula(field) ? QLatin1Char('\'') + field : field).toUtf8();
        const bool quote = std::any_of(field.cbegin(), field.cend(), [](QChar c) {
            return c == QLatin1Char(',') || c == QLatin1Char('"') || c.category() == QChar::Other_Control;
        });
        if (quote)
            f = '"' + f.replace('"', "\"\"") + '"';
        out << f;
    }
    return out.join(',') + "\r\n";
}

// The columns after the reply fields, with the notes' when the devices have them.
QStringList moreColumns(bool notes)
{
    QStringList names{QStringLiteral("seen_on")};
    if (notes)
        names << QStringLiteral("conflicts") << QStringLiteral("reachable");
    return names;
}

QByteArray devicesCsv(const QVector<Device> &devices, bool forTerminal)
{
    // Only list writes CSV: its header is the same with no device found.
    QByteArray out = csvRecord(fieldNames() << moreColumns(true));
    for (const Device &device : devices) {
        QStringList fields = fieldTexts(device.rec) << seenOnText(device.seenOn);
        if (device.notes)
            fields << device.notes->conflicts.join(QLatin1String("; "))
                   << QLatin1String(device.notes->reachable ? "true" : "false");
        if (forTerminal) {
            for (QString &field : fields)
                field = plainText(field);
        }
        out += csvRecord(fields);
    }
    return out;
}

QByteArray textTable(const QStringList &header, const QVector<QStringList> &rows)
{
    QVector<QStringList> cells{header};
    QVector<int> widths;
    for (const QString &h : header)
        widths << displayWidth(h);
    for (const QStringList &row : rows) {
        QStringList shown;
        for (int i = 0; i < header.size(); ++i) {
            // The last column is never cut: nothing to its right needs aligning.
            shown << (i + 1 < header.size() ? cell(row.value(i)) : plainText(row.value(i)));
            widths[i] = std::max(widths[i], displayWidth(shown.last()));
        }
        cells << shown;
    }
    QByteArray out;
    for (const QStringList &row : cells) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += i + 1 < row.size()
                        ? row[i] + QString(widths[i] - displayWidth(row[i]) + 2, QLatin1Char(' '))
                        : row[i];
        out += line.toUtf8() + '\n';
    }
    return out;
}

QByteArray devicesTable(const QVector<Device> &devices)
{
    if (devices.isEmpty())
        return {};
    QVector<QStringList> rows;
    for (const Device &device : devices) {
        rows << (fieldTexts(device.rec) << seenOnText(device.seenOn));
        if (device.notes) // marks that stand out in a column of blanks
            rows.last() << (device.notes->conflicts.isEmpty()
                                ? QString()
                                : QStringLiteral("!! ") + device.notes->conflicts.join(QLatin1String(", ")))
                        << QLatin1String(device.notes->reachable ? "yes" : "NO");
    }
    return textTable(fieldNames() << moreColumns(devices[0].notes.has_value()), rows);
}

QString seenOnText(const QVector<SeenOn> &seenOn)
{
    QStringList items;
    for (const SeenOn &s : seenOn)
        items << (s.interfaceName.isEmpty() ? s.address
                                            : s.address + QStringLiteral(" (%1)").arg(s.interfaceName));
    return items.join(QLatin1String("; "));
}

QByteArray conflictLine(Format format, const QDateTime &time, const QString &ipaddr,
                        const QStringList &holders)
{
    const QString when = time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
    const QLatin1String name(holders.size() < 2 ? "resolved" : "conflict");
    if (format == Format::Jsonl) {
        QByteArrayList items;
        for (const QString &holder : holders)
            items << jsonString(holder);
        return jsonObject({{QStringLiteral("time"), jsonString(when)},
                           {QStringLiteral("event"), jsonString(name)},
                           {QStringLiteral("ipaddr"), jsonString(ipaddr)},
                           {QStringLiteral("holders"), '[' + items.join(',') + ']'}}) +
               '\n';
    }
    return QStringList{when, name, QStringLiteral("ipaddr=") + textValue(ipaddr),
                       QStringLiteral("holders=") + textValue(holders.join(QLatin1Char(',')))}
               .join(QLatin1Char(' '))
               .toUtf8() +
           '\n';
}

QByteArray eventLine(Format format, const QDateTime &time, Event event, const Device &device,
                     const QStringList &fields, const DeviceRecord &was)
{
    const QString when = time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
    const char *name = event == Event::Added ? "added" : event == Event::Changed ? "changed" : "removed";
    const QStringList names = fieldNames(), texts = fieldTexts(device.rec), before = fieldTexts(was);
    if (format == Format::Jsonl) {
        QVector<QPair<QString, QByteArray>> members{
            {QStringLiteral("time"), jsonString(when)},
            {QStringLiteral("event"), jsonString(QLatin1String(name))}};
        if (event == Event::Changed) {
            QByteArrayList changed;
            QVector<QPair<QString, QByteArray>> old;
            for (const QString &field : fields) {
                changed << jsonString(field);
                if (names.contains(field))
                    old.append({field, jsonString(before[names.indexOf(field)])});
            }
            members.append({QStringLiteral("fields"), '[' + changed.join(',') + ']'});
            members.append({QStringLiteral("was"), jsonObject(old)});
        }
        members.append({QStringLiteral("device"), deviceJson(device)});
        return jsonObject(members) + '\n';
    }
    QStringList words{when, QLatin1String(name), QStringLiteral("mac=") + textValue(device.rec.mac),
                      QStringLiteral("version=") + textValue(device.rec.version)};
    const QString seen = QStringLiteral("seen_on=") + textValue(seenOnText(device.seenOn));
    if (event == Event::Added) {
        for (int i = 0; i < names.size(); ++i) {
            if (names[i] != QLatin1String("mac") && names[i] != QLatin1String("version"))
                words << names[i] + QLatin1Char('=') + textValue(texts[i]);
        }
        words << seen;
    } else if (event == Event::Changed) {
        for (const QString &field : fields) {
            const int i = names.indexOf(field);
            words << (i < 0 ? seen
                            : field + QLatin1Char('=') + textValue(before[i]) + QLatin1String("->") +
                                  textValue(texts[i]));
        }
    } else {
        words << QStringLiteral("ipaddr=") + textValue(device.rec.ipaddr);
    }
    return words.join(QLatin1Char(' ')).toUtf8() + '\n';
}

} // namespace cli
