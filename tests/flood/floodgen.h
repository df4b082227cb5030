#pragma once

#include "devicerecord.h"

#include <QByteArray>
#include <QVector>

#include <random>

// The datagrams of the floods that lanscout-flood sends at the program. Pure: no sockets,
// and the same seed gives the same datagrams.
namespace flood {

// The largest payload one UDP datagram over IPv4 can carry.
constexpr int MaxDatagram = 65507;

enum class Kind
{
    Malformed, // never a discovery reply: junk, and replies broken in one way or another
    Devices,   // well-formed replies, each from a device of its own (distinct MAC)
    Hostile,   // replies with hostile texts and maximum-size datagrams, over and over
};

// Device i of the Devices flood: an ordinary reply with a MAC of its own (0A:...).
DeviceRecord floodDevice(quint64 i);

// The devices the Hostile flood makes the program list (MACs 0E:00:00:00:00:0x); the rest of
// what it sends is junk of the maximum size.
QVector<DeviceRecord> hostileDevices();

class Generator
{
public:
    Generator(Kind kind, quint32 seed, quint64 first = 0);
    QByteArray next();

private:
    QByteArray malformed();
    QByteArray hostile();

    Kind m_kind;
    std::mt19937 m_rng;
    quint64 m_index;
    QVector<QByteArray> m_hostile; // the Hostile flood's cycle, built once
};

} // namespace flood
