#pragma once

#include <QStandardItemModel>

// The device table: row i shows version, IP address and MAC of device list entry i.
// Lives on the GUI thread and is changed only there (by IpList).
class IpItemMode : public QStandardItemModel
{
    Q_OBJECT
public:
    explicit IpItemMode(QObject *parent = nullptr);

    void setHeaderLanguage(int id);
    void appendDeviceRow(const QString &version, const QString &ipaddr, const QString &mac);
    void updateDeviceRow(int row, const QString &ipaddr);
    void removeDeviceRow(int row);
    // Removes count adjacent rows at once; the same as count calls of removeDeviceRow(row).
    void removeDeviceRows(int row, int count);
};
