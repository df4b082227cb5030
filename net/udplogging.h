#pragma once

#include <QLoggingCategory>

// "tx: " and "rx: " lines of every datagram sent to and read from the devices.
Q_DECLARE_LOGGING_CATEGORY(lcUdp)
