#pragma once

#include "devicerecord.h"

#include <QByteArray>
#include <QVector>

#include <random>

// The datagrams lanscout-flood sends at the program. Pure: the same seed, the same datagrams.
namespace flood {

constexpr int MaxDatagram = 65507; // the largest payload of a UDP datagram over IPv4

enum class Kind
{
    Malformed, // never a discovery reply: junk, and replies broken in one way or another
    Devices,   // well-formed replies, each from a device of its own (MACs 0A:...)
    Hostile,   // replies with hostile texts, and junk of the maximum size, over and over
    Flapping,  // one device (the Devices kind's first) whose address alternates between two
};

// The devices the Hostile flood makes the program list (MACs 0E:00:00:00:00:0x).
QVector<DeviceRecord> hostileDevices();

class Generator
{
public:
    // cycle: the Devices kind repeats the devices first .. first + cycle - 1 (0: never repeats).
    Generator(Kind kind, quint32 seed, quint64 first = 0, quint64 cycle = 0);
    QByteArray next();

private:
    QByteArray malformed();
    static DeviceRecord device(quint64 i); // device i of the Devices kind

    Kind m_kind;
    std::mt19937 m_rng;
    quint64 m_first;
    quint64 m_cycle;
    quint64 m_sent = 0;
    QVector<QByteArray> m_hostile; // the Hostile flood's cycle
};

} // namespace flood
