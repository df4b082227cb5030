#include "protocol.h"

#include <QStringList>

#include <algorithm>

namespace protocol {

namespace {

const QLatin1String SearchKeyword("qxsrhip");
const QLatin1String SetIpKeyword("qxsetip");

bool isFramed(const QByteArray &datagram)
{
    return datagram.size() >= 3 && datagram.front() == '@' && datagram.back() == '!';
}

QString textUpToNul(const char *data, int size)
{
    const void *nul = memchr(data, '\0', size_t(size));
    if (nul)
        size = int(static_cast<const char *>(nul) - data);
    return QString::fromUtf8(data, size);
}

const QByteArray Bom("\xEF\xBB\xBF");

// One field of a framed text. The decoder drops a byte order mark at the start of what it
// decodes; inside the whole text, where the field stands, it is a character like any other.
QString decodeField(const char *data, int size)
{
    QString marks;
    while (size >= 3 && memcmp(data, Bom.constData(), 3) == 0) {
        marks += QChar(0xFEFF);
        data += 3;
        size -= 3;
    }
    return marks.isEmpty() ? QString::fromUtf8(data, size) : marks + QString::fromUtf8(data, size);
}

// A framed datagram's keyword and count fields, as the UTF-8 text between "@" and "!", cut at the
// first NUL, splits at every "/" (empty parts kept); but taken straight from the bytes, and
// decoded only once the count and the keyword are right. A "/" byte is a "/" whatever stands
// around it in UTF-8, so the fields decode one by one to what the whole text holds.
bool framedFields(const QByteArray &datagram, QLatin1String keyword, QString *const *fields, int count)
{
    if (!isFramed(datagram))
        return false;
    const char *begin = datagram.constData() + 1;
    const char *end = datagram.constData() + datagram.size() - 1;
    if (const void *nul = memchr(begin, '\0', size_t(end - begin)))
        end = static_cast<const char *>(nul);
    constexpr int MaxFields = 9;
    const char *slash[MaxFields + 1]; // where each part ends
    int found = 0;
    for (const char *p = begin;;) {
        const char *next = static_cast<const char *>(memchr(p, '/', size_t(end - p)));
        if (!next)
            break;
        if (found == count)
            return false; // too many parts
        slash[found++] = next;
        p = next + 1;
    }
    if (found != count)
        return false;
    slash[count] = end;
    // Any byte that is not ASCII decodes to something that is not: the keyword must be these
    // bytes, after the byte order mark the decoder would drop.
    const char *word = begin;
    if (slash[0] - word >= 3 && memcmp(word, Bom.constData(), 3) == 0)
        word += 3;
    if (QLatin1String(word, int(slash[0] - word)) != keyword)
        return false;
    for (int i = 0; i < count; ++i)
        *fields[i] = decodeField(slash[i] + 1, int(slash[i + 1] - slash[i] - 1));
    return true;
}

QByteArray joinMessage(QLatin1String keyword, const QStringList &fields)
{
    QString text = QLatin1Char('@') + keyword;
    for (const QString &field : fields) {
        text += QLatin1Char('/');
        text += field;
    }
    text += QLatin1Char('!');
    return text.toUtf8();
}

} // namespace

QByteArray discoveryRequest()
{
    return QByteArrayLiteral("@qxsrhip/all!");
}

QByteArray setIpCommand(const SetIpRequest &r)
{
    return joinMessage(SetIpKeyword,
                       {r.version, r.mac, r.ipways, r.ipaddr, r.mask, r.gateway, r.dns1, r.dns2});
}

QString datagramText(const QByteArray &datagram)
{
    if (isFramed(datagram))
        return visibleControls(textUpToNul(datagram.constData() + 1, datagram.size() - 2));
    return visibleControls(textUpToNul(datagram.constData(), datagram.size()));
}

QString visibleControls(const QString &text)
{
    auto isControl = [](char16_t c) {
        return (c < 0x20 && c != u'\t') || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
    };
    const auto first =
        std::find_if(text.cbegin(), text.cend(), [&](QChar c) { return isControl(c.unicode()); });
    if (first == text.cend())
        return text; // the usual case: nothing to copy
    QString out = text.left(int(first - text.cbegin()));
    out.reserve(text.size() + 16);
    for (auto it = first; it != text.cend(); ++it) {
        const char16_t c = it->unicode();
        if (!isControl(c))
            out += *it;
        else if (c < 0x100)
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    }
    return out;
}

std::optional<DeviceRecord> parseDiscoveryReply(const QByteArray &datagram)
{
    DeviceRecord rec;
    QString *const fields[] = {&rec.version, &rec.ipways, &rec.ipaddr, &rec.mask, &rec.gateway,
                               &rec.mac,     &rec.dns1,   &rec.dns2,   &rec.extra};
    if (!framedFields(datagram, SearchKeyword, fields, 9))
        return std::nullopt;
    return rec;
}

QByteArray discoveryReply(const DeviceRecord &d)
{
    return joinMessage(SearchKeyword,
                       {d.version, d.ipways, d.ipaddr, d.mask, d.gateway, d.mac, d.dns1, d.dns2, d.extra});
}

bool isDiscoveryRequest(const QByteArray &datagram)
{
    return datagram == discoveryRequest();
}

std::optional<SetIpRequest> parseSetIpCommand(const QByteArray &datagram)
{
    SetIpRequest r;
    QString *const fields[] = {&r.version, &r.mac,     &r.ipways, &r.ipaddr,
                               &r.mask,    &r.gateway, &r.dns1,   &r.dns2};
    if (!framedFields(datagram, SetIpKeyword, fields, 8))
        return std::nullopt;
    return r;
}

} // namespace protocol
