#pragma once

#include "devicelistsink.h"

#include <QStandardItemModel>
#include <QVector>

#include <functional>

// The device table: row i shows version, IP address and MAC of device list entry i.
// Lives on the GUI thread and is changed only there (by IpList).
//
// The rows hold no items: the cells are read from the records kept beside them (data()), centred.
// Three standard items per row, each with its private part and its own list of role values, cost
// about 700 bytes a device, more than the device's record and texts together.
class IpItemMode : public QStandardItemModel, public DeviceListSink
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
    void removeDeviceRows(int row, int count) override;

    // The record behind each row is kept with the rows (rows come and go only through these
    // operations), so that the two can never disagree. A change of the record alone is not
    // announced: no view shows it, and telling the views would make them repaint a row for every
    // reply of a device.
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

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QMap<int, QVariant> itemData(const QModelIndex &index) const override;

private:
    void appendRecordRow(const DeviceRecord &rec);
    // The record shown by a top-level cell of the three columns; null for any other index.
    const DeviceRecord *recordOf(const QModelIndex &index) const;

    QVector<DeviceRecord> m_records; // row i's record
    DeviceRecord m_incoming;         // the record of the row being appended
    Observer m_observer;
};
