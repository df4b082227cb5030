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

// The fields of a framed datagram, split at every "/" with empty parts kept.
std::optional<QStringList> framedParts(const QByteArray &datagram)
{
    if (!isFramed(datagram))
        return std::nullopt;
    return textUpToNul(datagram.constData() + 1, datagram.size() - 2).split(QLatin1Char('/'));
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
    const auto parts = framedParts(datagram);
    if (!parts || parts->size() != 10 || parts->at(0) != SearchKeyword)
        return std::nullopt;
    const QStringList &p = *parts;
    DeviceRecord rec;
    rec.version = p[1];
    rec.ipways = p[2];
    rec.ipaddr = p[3];
    rec.mask = p[4];
    rec.gateway = p[5];
    rec.mac = p[6];
    rec.dns1 = p[7];
    rec.dns2 = p[8];
    rec.extra = p[9];
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
    const auto parts = framedParts(datagram);
    if (!parts || parts->size() != 9 || parts->at(0) != SetIpKeyword)
        return std::nullopt;
    const QStringList &p = *parts;
    SetIpRequest r;
    r.version = p[1];
    r.mac = p[2];
    r.ipways = p[3];
    r.ipaddr = p[4];
    r.mask = p[5];
    r.gateway = p[6];
    r.dns1 = p[7];
    r.dns2 = p[8];
    return r;
}

} // namespace protocol
