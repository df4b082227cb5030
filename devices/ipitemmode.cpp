#include "ipitemmode.h"

#include "languageid.h"

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

void IpItemMode::appendRecordRow(const DeviceRecord &rec)
{
    m_incoming = rec;
    insertRows(rowCount(), 1); // a row without items: the cells come from the record
    m_incoming = DeviceRecord();
}

void IpItemMode::appendDeviceRow(const QString &version, const QString &ipaddr, const QString &mac)
{
    DeviceRecord rec;
    rec.version = version;
    rec.ipaddr = ipaddr;
    rec.mac = mac;
    appendRecordRow(rec);
}

void IpItemMode::appendDevice(const DeviceRecord &rec)
{
    appendRecordRow(rec);
    if (m_observer.accepted)
        m_observer.accepted(rec);
}

const DeviceRecord *IpItemMode::recordOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.parent().isValid() || index.column() > 2 ||
        index.row() >= m_records.size())
        return nullptr;
    return &m_records.at(index.row());
}

QVariant IpItemMode::data(const QModelIndex &index, int role) const
{
    const DeviceRecord *rec = recordOf(index);
    if (!rec)
        return QStandardItemModel::data(index, role);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() == 0 ? rec->version : index.column() == 1 ? rec->ipaddr : rec->mac;
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    default:
        return QVariant();
    }
}

QMap<int, QVariant> IpItemMode::itemData(const QModelIndex &index) const
{
    if (!recordOf(index))
        return QStandardItemModel::itemData(index);
    return {{Qt::DisplayRole, data(index, Qt::DisplayRole)},
            {Qt::TextAlignmentRole, data(index, Qt::TextAlignmentRole)}};
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
    m_records[row].ipaddr = ipaddr; // the cell shows the record's address
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
    m_records[row] = rec;
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
    // A large block (forged devices ageing out) goes in one reset: the view then forgets its
    // rows at once rather than moving every persistent index, and loses its selection, as on an
    // address change.
    constexpr int LargeBlock = 1024;
    if (count < LargeBlock) {
        removeRows(row, count);
        return;
    }
    beginResetModel();
    {
        const QSignalBlocker quiet(this); // the reset already tells the views
        removeRows(row, count);
        m_records.remove(row, count); // the signals that keep them in step are blocked here
    }
    endResetModel();
}
