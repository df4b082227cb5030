#pragma once

#include "devicerecord.h"

// What IpList hands its changes to, on the thread IpList lives on, in the order they were made:
// the window's table model, or the command line's device table. Entry i of the sink is entry i
// of the worker's device list once every change has been handed over.
class DeviceListSink
{
public:
    // A new device, at the end; seenOn: the socket that read its reply.
    virtual void appendDevice(const DeviceRecord &rec, const SeenOn &seenOn) = 0;
    // A new reply of the device at row; addressChanged: its ipaddr differs from the one before.
    virtual void refreshDevice(int row, const DeviceRecord &rec, bool addressChanged,
                               const SeenOn &seenOn) = 0;
    // count adjacent devices aged out at once; rows outside the list are refused.
    virtual void removeDeviceRows(int row, int count) = 0;
    virtual bool deviceAt(int row, DeviceRecord &out) const = 0;
    virtual int deviceCount() const = 0;

protected:
    ~DeviceListSink() = default;
};
