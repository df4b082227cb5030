#pragma once

#include <QByteArray>

// Classic pcap (libpcap's file format), raw IPv4 records: what a capture of the engine's datagrams
// is written as. The IPv4 and UDP headers are made up from the addresses, as the sockets never
// see them. Pure.
namespace cli {

// The file header: little endian, microseconds, LINKTYPE_RAW (101).
QByteArray pcapHeader();
// One record: its header (time, lengths), an IPv4 header with its checksum, a UDP header (no
// checksum, which UDP over IPv4 allows) and the payload.
QByteArray pcapRecord(qint64 microsecondsSinceEpoch, quint32 from, quint16 fromPort, quint32 to,
                      quint16 toPort, const char *data, int size);

} // namespace cli
