#include "conflicts.h"

#include "ipv4.h"

#include <algorithm>

namespace cli {

QString hostHolder()
{
    return QStringLiteral("host");
}

QVector<QStringList> addressConflicts(const QVector<Device> &devices, const QSet<quint32> &hostAddresses)
{
    QHash<quint32, QVector<int>> byAddress;
    QVector<std::optional<quint32>> address(devices.size());
    for (int i = 0; i < devices.size(); ++i) {
        address[i] = parseIpv4(devices[i].rec.ipaddr);
        if (address[i])
            byAddress[*address[i]] << i;
    }
    QVector<QStringList> conflicts(devices.size());
    for (int i = 0; i < devices.size(); ++i) {
        if (!address[i])
            continue;
        for (int other : qAsConst(byAddress[*address[i]])) {
            if (other != i)
                conflicts[i] << devices[other].rec.mac;
        }
        if (hostAddresses.contains(*address[i]))
            conflicts[i] << hostHolder();
    }
    return conflicts;
}

bool reachableFrom(const DeviceRecord &rec, const QVector<Subnet> &subnets)
{
    const auto address = parseIpv4(rec.ipaddr);
    return address && std::any_of(subnets.cbegin(), subnets.cend(),
                                  [&](const Subnet &s) { return s.contains(*address); });
}

QStringList ConflictTracker::holders(quint32 address) const
{
    QStringList macs;
    for (const Key &key : m_devices.value(address))
        macs << key.first;
    if (m_host.contains(address))
        macs << hostHolder();
    return macs;
}

QVector<ConflictTracker::Change> ConflictTracker::move(const DeviceRecord &device, const QString &was,
                                                       const QString &now)
{
    const Key key{device.mac, device.version};
    const auto from = parseIpv4(was), to = parseIpv4(now);
    QVector<Change> changes;
    if (from == to)
        return changes;
    // A holder leaving a conflict of three leaves one of two: that too is news.
    auto note = [&](quint32 address, const QStringList &before, const QString &text) {
        const QStringList after = holders(address);
        if (after.size() >= 2 || before.size() >= 2)
            changes.append({text, after});
    };
    if (from) {
        const QStringList before = holders(*from);
        QVector<Key> &keys = m_devices[*from];
        keys.removeOne(key);
        if (keys.isEmpty())
            m_devices.remove(*from);
        note(*from, before, was);
    }
    if (to) {
        const QStringList before = holders(*to);
        m_devices[*to] << key;
        note(*to, before, now);
    }
    return changes;
}

} // namespace cli
