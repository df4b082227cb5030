#pragma once

#include "devicelistsink.h"

#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

namespace cli {

// A listed device and the local addresses whose sockets read its replies, in the order seen.
struct Device
{
    DeviceRecord rec;
    QVector<SeenOn> seenOn;
    // What list adds: the other holders of its address (their MACs, "host" for this host), and
    // whether its address lies in the subnet of a local address that read it.
    struct Notes
    {
        QStringList conflicts;
        bool reachable = true;
    };
    std::optional<Notes> notes;
};

// The nine reply fields (version, ipways, ..., extra), in reply order: names and members.
using ReplyField = std::pair<const char *, QString DeviceRecord::*>;
extern const ReplyField ReplyFields[9];
// Their names and texts.
QStringList fieldNames();
QStringList fieldTexts(const DeviceRecord &rec);
// The names of the reply fields that differ between a and b.
QStringList changedFields(const DeviceRecord &a, const DeviceRecord &b);

// The command line's side of the device list: what the window's table model is to the window.
// Lives on the main thread; IpList hands it every change there, in order.
class DeviceTable : public DeviceListSink
{
public:
    const QVector<Device> &devices() const { return m_devices; }
    // The discovery the latest reply answered (its cnt), 0 before the first.
    quint32 lastPass() const { return m_lastPass; }

    // Called for each change as it is applied. fields: the reply fields that changed, and
    // "seen_on" when a local address read a reply for the first time; was: the record before.
    std::function<void(const Device &)> added;
    std::function<void(const Device &, const QStringList &fields, const DeviceRecord &was)> changed;
    std::function<void(const Device &)> removed;
    // Every reply, whether anything changed or not.
    std::function<void(const Device &)> replied;

    void appendDevice(const DeviceRecord &rec, const SeenOn &seenOn) override;
    void refreshDevice(int row, const DeviceRecord &rec, bool addressChanged, const SeenOn &seenOn) override;
    void removeDeviceRows(int row, int count) override;
    bool deviceAt(int row, DeviceRecord &out) const override;
    int deviceCount() const override { return int(m_devices.size()); }

private:
    QVector<Device> m_devices;
    quint32 m_lastPass = 0;
};

} // namespace cli
