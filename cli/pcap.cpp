#include "pcap.h"

#include <QtEndian>

namespace cli {

namespace {

template <typename T> void little(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, int(sizeof(T)));
}

template <typename T> void big(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    qToBigEndian(value, bytes);
    out.append(bytes, int(sizeof(T)));
}

} // namespace

QByteArray pcapHeader()
{
    QByteArray h;
    little<quint32>(h, 0xa1b2c3d4); // microseconds
    little<quint16>(h, 2);
    little<quint16>(h, 4);
    little<qint32>(h, 0);      // time zone
    little<quint32>(h, 0);     // accuracy
    little<quint32>(h, 65535); // snapshot length: no datagram is cut
    little<quint32>(h, 101);   // LINKTYPE_RAW
    return h;
}

QByteArray pcapRecord(qint64 microsecondsSinceEpoch, quint32 from, quint16 fromPort, quint32 to,
                      quint16 toPort, const char *data, int size)
{
    // What fits one IPv4 packet; a longer one could not have been a datagram.
    size = qMin(size, 65535 - 28);
    const int length = 28 + size;
    QByteArray ip;
    big<quint8>(ip, 0x45); // version 4, 5 words
    big<quint8>(ip, 0);
    big<quint16>(ip, quint16(length));
    big<quint32>(ip, 0x4000); // no identification, don't fragment
    big<quint8>(ip, 64);      // time to live
    big<quint8>(ip, 17);      // UDP
    big<quint16>(ip, 0);      // the checksum, below
    big<quint32>(ip, from);
    big<quint32>(ip, to);
    quint32 sum = 0;
    for (int i = 0; i < 20; i += 2)
        sum += quint32(quint8(ip[i]) << 8 | quint8(ip[i + 1]));
    sum = (sum & 0xffff) + (sum >> 16);
    sum = (sum & 0xffff) + (sum >> 16);
    qToBigEndian(quint16(~sum), ip.data() + 10);
    big<quint16>(ip, fromPort);
    big<quint16>(ip, toPort);
    big<quint16>(ip, quint16(8 + size));
    big<quint16>(ip, 0);
    ip.append(data, size);

    QByteArray record;
    little<quint32>(record, quint32(microsecondsSinceEpoch / 1000000));
    little<quint32>(record, quint32(microsecondsSinceEpoch % 1000000));
    little<quint32>(record, quint32(length));
    little<quint32>(record, quint32(length));
    return record + ip;
}

} // namespace cli
