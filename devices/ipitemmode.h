#pragma once

#include "devicerecord.h"

#include <QStandardItemModel>
#include <QVector>

#include <functional>

// The device table: row i shows version, IP address and MAC of device list entry i.
// Lives on the GUI thread and is changed only there (by IpList).
class IpItemMode : public QStandardItemModel
{
    Q_OBJECT
public:
    // Field diagnostics: told of every record the table takes in (a new row or a refresh) and
    // of rows about to be removed, however they go.
    struct Observer
    {
        std::function<void(const DeviceRecord &)> accepted;
        std::function<void(int row, int count)> removing;
    };
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    explicit IpItemMode(QObject *parent = nullptr);

    void setHeaderLanguage(int id);
    void appendDeviceRow(const QString &version, const QString &ipaddr, const QString &mac);
    void updateDeviceRow(int row, const QString &ipaddr);
    void removeDeviceRow(int row);
    // Removes count adjacent rows at once; the same as count calls of removeDeviceRow(row).
    void removeDeviceRows(int row, int count);

    // The record behind each row is kept with the rows (rows come and go only through these
    // operations), so that the two can never disagree. A change of the record alone is not
    // announced: no view shows it, and telling the views would make them repaint a row for every
    // reply of a device.
    void appendDevice(const DeviceRecord &rec);
    void setDeviceRecord(int row, const DeviceRecord &rec);
    // A refreshed device: its record, and with a new address also its IP cell, changed in
    // one step (inside the reset of updateDeviceRow when the address moved).
    void refreshDevice(int row, const DeviceRecord &rec, bool addressChanged);
    bool deviceAt(int row, DeviceRecord &out) const;

private:
    QVector<DeviceRecord> m_records; // row i's record
    DeviceRecord m_incoming;         // the record of the row being appended
    Observer m_observer;
};
