#pragma once

#include "devicelistsink.h"

#include <QStandardItemModel>

// The device table: row i shows version, IP address and MAC of device list entry i.
// Lives on the GUI thread and is changed only there (by IpList).
class IpItemMode : public QStandardItemModel, public DeviceListSink
{
    Q_OBJECT
public:
    // Column 0 of every row also holds the whole record the row shows.
    static constexpr int RecordRole = Qt::UserRole + 1;

    explicit IpItemMode(QObject *parent = nullptr);

    void setHeaderLanguage(int id);
    void appendDeviceRow(const QString &version, const QString &ipaddr, const QString &mac);
    void updateDeviceRow(int row, const QString &ipaddr);
    void removeDeviceRow(int row);
    // Removes count adjacent rows at once; the same as count calls of removeDeviceRow(row).
    void removeDeviceRows(int row, int count) override;

    // The record behind a row, stored with the row so that the two can never disagree.
    void appendDevice(const DeviceRecord &rec);
    void setDeviceRecord(int row, const DeviceRecord &rec);
    // A refreshed device: its record, and with a new address also its IP cell, changed in
    // one step (inside the reset of updateDeviceRow when the address moved).
    void refreshDevice(int row, const DeviceRecord &rec, bool addressChanged);
    bool deviceAt(int row, DeviceRecord &out) const override;

    // The list's changes; where a reply was read is not shown.
    void appendDevice(const DeviceRecord &rec, const SeenOn &) override { appendDevice(rec); }
    void refreshDevice(int row, const DeviceRecord &rec, bool addressChanged, const SeenOn &) override
    {
        refreshDevice(row, rec, addressChanged);
    }
    int deviceCount() const override { return rowCount(); }
};
