#include "devicetable.h"

namespace cli {

const ReplyField ReplyFields[9] = {
    {"version", &DeviceRecord::version}, {"ipways", &DeviceRecord::ipways},
    {"ipaddr", &DeviceRecord::ipaddr},   {"mask", &DeviceRecord::mask},
    {"gateway", &DeviceRecord::gateway}, {"mac", &DeviceRecord::mac},
    {"dns1", &DeviceRecord::dns1},       {"dns2", &DeviceRecord::dns2},
    {"extra", &DeviceRecord::extra},
};

QStringList fieldNames()
{
    QStringList names;
    for (const auto &field : ReplyFields)
        names << QLatin1String(field.first);
    return names;
}

QStringList fieldTexts(const DeviceRecord &rec)
{
    QStringList texts;
    for (const auto &field : ReplyFields)
        texts << rec.*field.second;
    return texts;
}

QStringList changedFields(const DeviceRecord &a, const DeviceRecord &b)
{
    QStringList names;
    for (const auto &[name, field] : ReplyFields) {
        if (a.*field != b.*field)
            names << QLatin1String(name);
    }
    return names;
}

void DeviceTable::appendDevice(const DeviceRecord &rec, const SeenOn &seenOn)
{
    m_lastPass = rec.cnt;
    Device device{rec, {}, {}};
    if (!seenOn.isEmpty())
        device.seenOn << seenOn;
    m_devices.append(device);
    if (added)
        added(m_devices.last());
    if (replied)
        replied(m_devices.last());
}

void DeviceTable::refreshDevice(int row, const DeviceRecord &rec, bool, const SeenOn &seenOn)
{
    if (row < 0 || row >= m_devices.size())
        return;
    m_lastPass = rec.cnt;
    Device &device = m_devices[row];
    QStringList fields = changedFields(device.rec, rec);
    if (!seenOn.isEmpty() && !device.seenOn.contains(seenOn)) {
        device.seenOn << seenOn;
        fields << QStringLiteral("seen_on");
    }
    const DeviceRecord was = device.rec;
    device.rec = rec;
    if (!fields.isEmpty() && changed)
        changed(device, fields, was);
    if (replied)
        replied(device);
}

void DeviceTable::removeDeviceRows(int row, int count)
{
    if (row < 0 || count <= 0 || count > m_devices.size() - row)
        return;
    if (removed) {
        for (int i = row; i < row + count; ++i)
            removed(m_devices[i]);
    }
    m_devices.remove(row, count);
}

bool DeviceTable::deviceAt(int row, DeviceRecord &out) const
{
    if (row < 0 || row >= m_devices.size())
        return false;
    out = m_devices[row].rec;
    return true;
}

} // namespace cli
