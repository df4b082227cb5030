#pragma once

#include "checks.h"
#include "devicetable.h"

#include <QHash>
#include <QSet>

// Two holders of one address: devices that report the same address, or a device that reports one
// of this host's own. Either makes one of them unreachable by that address. Pure.
namespace cli {

// The word that stands for this host among the holders of an address.
QString hostHolder();

// By device: the MACs of the other devices that report its address, then hostHolder() when it
// is one of this host's addresses. Addresses that are not plain dotted IPv4 conflict with nothing.
QVector<QStringList> addressConflicts(const QVector<Device> &devices, const QSet<quint32> &hostAddresses);

// True when the device's address lies in one of subnets (those of the local addresses that read
// its replies): its web page opens from here; otherwise only a set-IP command reaches it.
bool reachableFrom(const DeviceRecord &rec, const QVector<Subnet> &subnets);

// The holders of each address as watch sees devices come, change and go.
class ConflictTracker
{
public:
    explicit ConflictTracker(QSet<quint32> hostAddresses) : m_host(std::move(hostAddresses)) {}

    struct Change
    {
        QString ipaddr;
        QStringList holders; // their MACs (and hostHolder()); fewer than two: resolved
        bool resolved() const { return holders.size() < 2; }
    };
    // The device (mac, version) reported was and now reports now (either empty: none, as when it
    // comes or goes). Returns the addresses whose conflict began, changed its holders, or ended.
    QVector<Change> move(const DeviceRecord &device, const QString &was, const QString &now);

private:
    using Key = QPair<QString, QString>; // mac, version
    QStringList holders(quint32 address) const;

    QSet<quint32> m_host;
    QHash<quint32, QVector<Key>> m_devices; // by address, in the order they came
};

} // namespace cli
