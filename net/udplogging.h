#pragma once

#include <QLoggingCategory>

#include <chrono>

// "tx: " and "rx: " lines of every datagram sent to and read from the devices.
Q_DECLARE_LOGGING_CATEGORY(lcUdp)

// Field diagnostics, off unless asked for with QT_LOGGING_RULES="lanScout.probe.debug=true":
// when things happen (CLOCK_MONOTONIC, in nanoseconds), for measurements from outside.
Q_DECLARE_LOGGING_CATEGORY(lcProbe)

// The clock of the probe's stamps (CLOCK_MONOTONIC): one clock for every process of the machine.
inline qint64 probeClockNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
