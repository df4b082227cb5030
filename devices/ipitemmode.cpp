#include "ipitemmode.h"

namespace {

QStandardItem *centredItem(const QString &text)
{
    auto *item = new QStandardItem(text);
    item->setData(int(Qt::AlignCenter), Qt::TextAlignmentRole);
    return item;
}

} // namespace

IpItemMode::IpItemMode(QObject *parent) : QStandardItemModel(parent)
{
    setColumnCount(3);
    setHeaderLanguage(0);
}

void IpItemMode::setHeaderLanguage(int id)
{
    QString texts[3];
    switch (id) {
    case 0:
        texts[0] = QObject::tr("版本号");
        texts[1] = QObject::tr("IP");
        texts[2] = QObject::tr("Mac");
        break;
    case 1:
        texts[0] = QObject::tr("Version ");
        texts[1] = QObject::tr("IP ");
        texts[2] = QObject::tr("Mac ");
        break;
    case 2:
        texts[0] = QObject::tr("Версия ПО ");
        texts[1] = QObject::tr("IP адрес ");
        texts[2] = QObject::tr("MAC адрес ");
        break;
    default:
        return;
    }
    for (int column = 0; column < 3; ++column)
        setHorizontalHeaderItem(column, new QStandardItem(texts[column]));
}

void IpItemMode::appendDeviceRow(const QString &version, const QString &ipaddr, const QString &mac)
{
    appendRow({centredItem(version), centredItem(ipaddr), centredItem(mac)});
}

void IpItemMode::appendDevice(const DeviceRecord &rec)
{
    QStandardItem *first = centredItem(rec.version);
    first->setData(QVariant::fromValue(rec), RecordRole);
    appendRow({first, centredItem(rec.ipaddr), centredItem(rec.mac)});
}

void IpItemMode::setDeviceRecord(int row, const DeviceRecord &rec)
{
    if (row < 0 || row >= rowCount())
        return;
    item(row, 0)->setData(QVariant::fromValue(rec), RecordRole);
}

bool IpItemMode::deviceAt(int row, DeviceRecord &out) const
{
    if (row < 0 || row >= rowCount())
        return false;
    const QVariant v = item(row, 0)->data(RecordRole);
    if (!v.canConvert<DeviceRecord>())
        return false;
    out = v.value<DeviceRecord>();
    return true;
}

void IpItemMode::updateDeviceRow(int row, const QString &ipaddr)
{
    if (row < 0 || row >= rowCount())
        return;
    // A reset rather than dataChanged: views drop their current index and selection,
    // so no button acts on a device whose address has just moved under it.
    beginResetModel();
    {
        const QSignalBlocker quiet(this); // the reset already tells the views
        item(row, 1)->setData(ipaddr, Qt::DisplayRole);
    }
    endResetModel();
}

void IpItemMode::refreshDevice(int row, const DeviceRecord &rec, bool addressChanged)
{
    if (row < 0 || row >= rowCount())
        return;
    if (!addressChanged) {
        setDeviceRecord(row, rec);
        return;
    }
    beginResetModel();
    {
        const QSignalBlocker quiet(this);
        item(row, 1)->setData(rec.ipaddr, Qt::DisplayRole);
        item(row, 0)->setData(QVariant::fromValue(rec), RecordRole);
    }
    endResetModel();
}

void IpItemMode::removeDeviceRow(int row)
{
    removeDeviceRows(row, 1);
}

void IpItemMode::removeDeviceRows(int row, int count)
{
    if (row < 0 || count <= 0 || count > rowCount() - row)
        return;
    // The standard model finds every item it deletes, and every item whose data changes, through
    // a position hint that goes stale for each row below a removed one. Deleting tens of
    // thousands of rows (forged devices ageing out) then takes seconds, longer after each
    // earlier removal, and the window freezes. A large block instead moves the rows below it up
    // in place (the items stay where they are, so their hints stay true) and cuts as many rows
    // off the end, inside one reset: the view loses its selection, as on an address change.
    constexpr int LargeBlock = 1024;
    if (count < LargeBlock) {
        removeRows(row, count);
        return;
    }
    beginResetModel();
    {
        const QSignalBlocker quiet(this); // the reset already tells the views
        const int rows = rowCount();
        for (int to = row, from = row + count; from < rows; ++to, ++from) {
            for (int column = 0; column < 3; ++column)
                item(to, column)->setData(item(from, column)->data(Qt::DisplayRole), Qt::DisplayRole);
            item(to, 0)->setData(item(from, 0)->data(RecordRole), RecordRole);
        }
        removeRows(rows - count, count);
    }
    endResetModel();
}
