#include "ipitemmode.h"

#include "languageid.h"

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
    setHeaderLanguage(Language::Chinese);
    // The records follow the rows at the moment the rows change: connected before any view, these
    // run first, so that inside the model's signals every row shows the record it has.
    connect(this, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        m_records.insert(first, last - first + 1, m_incoming);
    });
    connect(this, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex &, int first, int last) { m_records.remove(first, last - first + 1); });
}

void IpItemMode::setHeaderLanguage(int id)
{
    QString texts[3];
    switch (id) {
    case Language::Chinese:
        texts[0] = QObject::tr("版本号");
        texts[1] = QObject::tr("IP");
        texts[2] = QObject::tr("Mac");
        break;
    case Language::English:
        texts[0] = QObject::tr("Version ");
        texts[1] = QObject::tr("IP ");
        texts[2] = QObject::tr("Mac ");
        break;
    case Language::Russian:
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
    m_incoming.version = version;
    m_incoming.ipaddr = ipaddr;
    m_incoming.mac = mac;
    appendRow({centredItem(version), centredItem(ipaddr), centredItem(mac)});
    m_incoming = DeviceRecord();
}

void IpItemMode::appendDevice(const DeviceRecord &rec)
{
    m_incoming = rec;
    appendRow({centredItem(rec.version), centredItem(rec.ipaddr), centredItem(rec.mac)});
    m_incoming = DeviceRecord();
    if (m_observer.accepted)
        m_observer.accepted(rec);
}

void IpItemMode::setDeviceRecord(int row, const DeviceRecord &rec)
{
    if (row < 0 || row >= m_records.size())
        return;
    m_records[row] = rec;
    if (m_observer.accepted)
        m_observer.accepted(rec);
}

bool IpItemMode::deviceAt(int row, DeviceRecord &out) const
{
    if (row < 0 || row >= m_records.size())
        return false;
    out = m_records.at(row);
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
        m_records[row] = rec;
    }
    endResetModel();
    if (m_observer.accepted)
        m_observer.accepted(rec);
}

void IpItemMode::removeDeviceRow(int row)
{
    removeDeviceRows(row, 1);
}

void IpItemMode::removeDeviceRows(int row, int count)
{
    if (row < 0 || count <= 0 || count > rowCount() - row)
        return;
    if (m_observer.removing)
        m_observer.removing(row, count);
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
        }
        removeRows(rows - count, count);
        m_records.remove(row, count); // the signals that keep them in step are blocked here
    }
    endResetModel();
}
