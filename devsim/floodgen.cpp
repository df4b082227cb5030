#include "floodgen.h"

#include "protocol.h"

#include <QList>

namespace flood {

namespace {

using Fields = QList<QByteArray>;

int uniform(std::mt19937 &rng, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

QByteArray randomBytes(std::mt19937 &rng, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(rng());
    return bytes;
}

QByteArray frame(const QByteArray &keyword, const Fields &fields)
{
    QByteArray d = '@' + keyword;
    for (const QByteArray &f : fields)
        d += '/' + f;
    return d + '!';
}

QByteArray reply(const Fields &fields)
{
    return frame(QByteArrayLiteral("qxsrhip"), fields);
}

QByteArray withSize(QByteArray head, char fill, const QByteArray &tail)
{
    return head + QByteArray(MaxDatagram - head.size() - tail.size(), fill) + tail;
}

// The Hostile flood: the replies that make devices, then the maximum-size junk.
QVector<QByteArray> hostileReplies()
{
    const QByteArray rlo("\xE2\x80\xAE"); // U+202E RIGHT-TO-LEFT OVERRIDE
    QByteArray padded = reply({QByteArray(20000, 'V'), "static", "198.18.0.65", "255.255.255.0", "198.18.0.1",
                               "0E:00:00:00:00:05", "198.18.0.1", "198.18.0.2", ""});
    padded.insert(padded.size() - 1, QByteArray(MaxDatagram - padded.size(), 'x'));
    return {
        reply({"<b>x<b>", "<img src=x onerror=alert(1)>", "<a href=x>198.18.0.60<a>", "<table><tr><td>",
               "<script>alert(1)<", "0E:00:00:00:00:01", "<i>", "<u>", "<h1>big"}),
        reply({"V\x01\x02\x07\x08\t\x0b\x0c\r\n\x1b[31mred\x7f", "static\x1b[2J", "198.18.0.61\r\n",
               "255.255.255.0\x08\x08\x08", "\x1b]0;title\x07", "0E:00:00:00:00:02", "\x7f", "\xc2\x85",
               "bell\x07"}),
        reply({rlo + "gnp.exe", rlo + "static", "198.18.0.62" + rlo, "\xE2\x80\x8F 255.255.255.0",
               "\xE2\x81\xA6 198.18.0.1", "0E:00:00:00:00:03", "\xE2\x80\xAD", rlo, rlo + rlo + rlo}),
        reply({QByteArray("0123456789").repeated(3000), QByteArray("static ").repeated(2000), "198.18.0.63",
               "255.255.255.0", "198.18.0.1", "0E:00:00:00:00:04", "198.18.0.1", "198.18.0.2",
               QByteArray(20000, 'e')}),
        padded,
        reply({QByteArray("\xF0\x9F\x98\x80").repeated(100),
               QByteArray("e\xCC\x81\xCC\xA7\xCD\x9D").repeated(200), "198.18.0.66", "255.255.255.0",
               "198.18.0.1", "0E:00:00:00:00:06", "\xEF\xBB\xBF", "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF"}),
        // Not UTF-8: an overlong "/" and a lone surrogate must not split a field or be kept.
        reply({"V\xFF\xFE", "\xC0\xAF", "198.18.0.67\xED\xA0\x80", "\x80\x80", "\xF8\x88\x80\x80\x80",
               "0E:00:00:00:00:07", "\xC3", "\xE2\x82", "\xF0\x9F\x98"}),
        // The text ends at a NUL: what follows it is not read, not even its "/".
        reply({"V1", "static", "198.18.0.68", "255.255.255.0", "198.18.0.1", "0E:00:00:00:00:08", "", "",
               QByteArray("tail\0/more/fields", 17)}),
        // Not replies: a forged trace line and list dump, and what would drive a terminal.
        "junk\r\nlanScout.udp: rx:  qxsrhip/FORGED/static/198.18.0.99/255.255.255.0/198.18.0.1/"
        "0F:00:00:00:00:01/a/b/c\nprintIpList------------------------------------------------\n",
        "\x1b[2J\x1b[H\x1b]0;owned\x07\x1b[6n\x08\x08\x7f\xc2\x9b"
        "31m\x9b"
        "0m\x0c\x0b",
        QByteArray(MaxDatagram, '\0'),
        withSize("@", '/', "!"),
        withSize("@qxsrhip/V/static/1/2/3/0E:00:00:00:00:0F/4/5/6/", 'j', "/eleven!"),
        withSize("@QXSRHIP/V/static/1/2/3/0E:00:00:00:00:0F/4/5/", 'k', "!"),
    };
}

} // namespace

QVector<DeviceRecord> hostileDevices()
{
    QVector<DeviceRecord> devices;
    for (const QByteArray &d : hostileReplies()) {
        if (auto rec = protocol::parseDiscoveryReply(d))
            devices.append(*rec);
    }
    return devices;
}

Generator::Generator(Kind kind, quint32 seed, quint64 first, quint64 cycle)
    : m_kind(kind), m_rng(seed), m_first(first), m_cycle(cycle)
{
    if (kind == Kind::Hostile)
        m_hostile = hostileReplies() << randomBytes(m_rng, MaxDatagram); // junk that differs per seed
}

QByteArray Generator::next()
{
    const quint64 n = m_sent++;
    const quint64 i = m_first + (m_cycle ? n % m_cycle : n);
    if (m_kind == Kind::Hostile)
        return m_hostile[int(i % quint64(m_hostile.size()))];
    if (m_kind == Kind::Malformed)
        return malformed();
    if (m_kind == Kind::Flapping) {
        DeviceRecord d = device(m_first);
        d.ipaddr = n % 2 ? QStringLiteral("198.19.255.2") : QStringLiteral("198.19.255.1");
        return protocol::discoveryReply(d);
    }
    return protocol::discoveryReply(device(i));
}

DeviceRecord Generator::device(quint64 i)
{
    DeviceRecord d;
    d.version = QStringLiteral("F1.0");
    d.ipways = QStringLiteral("static");
    d.ipaddr = QStringLiteral("198.19.%1.%2").arg((i >> 8) & 0xFF).arg(i & 0xFF);
    d.mask = QStringLiteral("255.255.0.0");
    d.gateway = d.dns1 = QStringLiteral("198.19.0.1");
    d.dns2 = QStringLiteral("198.19.0.2");
    d.mac = QStringLiteral("0A");
    for (int shift = 32; shift >= 0; shift -= 8)
        d.mac += QStringLiteral(":%1").arg((i >> shift) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    d.extra = QStringLiteral("flood-%1").arg(i);
    return d;
}

QByteArray Generator::malformed()
{
    std::mt19937 &rng = m_rng;
    // Nine fields as a device sends them, with a random MAC: should a broken reply below get
    // through, it would show as a device of its own.
    Fields fields{"V2.0",          "static",     "198.18.0.77",
                  "255.255.255.0", "198.18.0.1", "0C:" + randomBytes(rng, 5).toHex(':').toUpper(),
                  "198.18.0.1",    "198.18.0.2", "x"};
    static const char *const fixed[] = {
        "@qxsrhip/all!",
        "@qxsetip/V1/02:00:00:00:00:01/dhcp/////!", // what the host itself sends
        "@",
        "!",
        "@!",
        "@@!!",
        "@/!",
        "@/////////!",
        "@qxsrhip!",
        "@qxsrhip/!",
        "!@"};
    static const char *const keywords[] = {"QXSRHIP", "qxsrhiP",  "qxsrhip ",       " qxsrhip", "qxsetip",
                                           "qxsrhi",  "qxsrhipp", "qxsrh\xC4\xB1p", "",         "qxs\xFFhip"};
    static const char *const slashes[] = {"\xC0\xAF", "\xE0\x80\xAF", "\xEF\xBC\x8F", "\\"};
    QByteArray d;
    switch (uniform(rng, 0, 9)) {
    case 0:
        break; // empty
    case 1:
        d = randomBytes(rng, uniform(rng, 1, 1472));
        break;
    case 2:
        d = '@' + randomBytes(rng, uniform(rng, 0, 600)) + '!';
        break;
    case 3: { // fields too few or too many
        const int n = uniform(rng, 0, 12) == 9 ? 40 : uniform(rng, 0, 12);
        while (fields.size() < n)
            fields.append(randomBytes(rng, 2).toHex());
        d = reply(fields.mid(0, n));
        break;
    }
    case 4:
        d = frame(keywords[uniform(rng, 0, 9)], fields);
        break;
    case 5: // the frame broken at either end
        d = reply(fields);
        switch (uniform(rng, 0, 4)) {
        case 0:
            d.chop(1);
            break;
        case 1:
            d += uniform(rng, 0, 1) ? "\r\n" : QByteArray(1, '\0');
            break;
        case 2:
            d.remove(0, 1);
            break;
        case 3:
            d.prepend(' ');
            break;
        default:
            d[d.size() - 1] = '?';
        }
        break;
    case 6: // a NUL that hides the last fields
        d = reply(fields);
        d.insert(uniform(rng, 1, d.lastIndexOf('/')), '\0');
        break;
    case 7: // a "/" that is none in UTF-8
        d = reply(fields);
        d.replace(d.indexOf('/', uniform(rng, 1, d.size() - 12)), 1, slashes[uniform(rng, 0, 3)]);
        break;
    case 8:
        d = fixed[uniform(rng, 0, 10)];
        break;
    default:
        d = '@' + QByteArray(uniform(rng, 10, 1400), '/') + '!';
    }
    // A random mutation can still come out well-formed: this flood must hold no reply.
    if (protocol::parseDiscoveryReply(d))
        d[d.size() - 1] = '?';
    return d;
}

} // namespace flood
