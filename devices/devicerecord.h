#pragma once

#include <QMetaType>
#include <QString>

// One discovered device, exactly as its last discovery reply described it.
struct DeviceRecord
{
    QString version;
    QString ipways;
    QString ipaddr;
    QString mask;
    QString gateway;
    QString mac;
    QString dns1;
    QString dns2;
    QString extra;
    // Discovery count at the moment the latest reply was parsed; not on the wire.
    quint32 cnt = 0;

    friend bool operator==(const DeviceRecord &a, const DeviceRecord &b)
    {
        return a.version == b.version && a.ipways == b.ipways && a.ipaddr == b.ipaddr && a.mask == b.mask &&
               a.gateway == b.gateway && a.mac == b.mac && a.dns1 == b.dns1 && a.dns2 == b.dns2 &&
               a.extra == b.extra && a.cnt == b.cnt;
    }
    friend bool operator!=(const DeviceRecord &a, const DeviceRecord &b) { return !(a == b); }
};

// A pending network-settings request: version and mac name the device, the six
// settings fields carry what it should switch to.
using SetIpRequest = DeviceRecord;

// Where a reply was read: the local IPv4 address of the socket that read it and the name of
// that address's network interface. Empty when the engine can't tell.
struct SeenOn
{
    QString address;
    QString interfaceName;

    bool isEmpty() const { return address.isEmpty() && interfaceName.isEmpty(); }
    friend bool operator==(const SeenOn &a, const SeenOn &b)
    {
        return a.address == b.address && a.interfaceName == b.interfaceName;
    }
};

Q_DECLARE_METATYPE(DeviceRecord)
