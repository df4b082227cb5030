#pragma once

#include "checks.h"

#include <QStringList>
#include <QVector>

// Plans of many devices (CSV, one device a row) and their checks. Pure functions.
namespace cli {

// RFC 4180: fields separated by commas, records by CR LF or LF; a field in double quotes may
// hold commas, line breaks and doubled double quotes.
struct CsvRecord
{
    int line = 0; // where the record starts, from 1
    QStringList fields;
};
// The records, or an error that names the line ("line 3: ...").
QVector<CsvRecord> readCsv(const QString &text, QString *error);

// One row of a plan: which device, and the settings it should get (request.ipways and the six
// settings fields; request.mac and request.version are the device's own once it is found).
struct PlanRow
{
    int line = 0;
    QString mac, version; // version may be empty: then the mac alone names the device
    SetIpRequest request;
    QString error; // not empty: the row can't be read as a device and its settings
};
// The rows of "mac,version,mode,ip,mask,gateway,dns1,dns2" records (a header row of these
// names is optional; blanks around fields are dropped; trailing fields may be left out).
QVector<PlanRow> readPlan(const QString &text, QString *error);

// True when rec is the device that mac (letter case aside) and version (when given) name.
bool names(const DeviceRecord &rec, const QString &mac, const QString &version);

// A discovered device and every IPv4 subnet of the local interfaces that saw it.
struct Known
{
    DeviceRecord rec;
    QVector<Subnet> localSubnets;
};

struct PlanCheck
{
    QVector<int> device;                // by row: its device in known, or -1
    QVector<QVector<int>> candidates;   // by row: every device the row names
    QVector<QVector<Problem>> problems; // by row
    // The rows in the order to send them: a row that takes an address another row's device
    // gives up goes after that row. Every row is in it once.
    QVector<int> order;
    bool clean() const;
};
// Checks every row against the discovered devices and against the other rows, fills in each
// request's mac and version from its device, and orders the rows. A device counts as moved away
// from its address only when its row can be sent at all (under --force too); rows that wait for
// each other (a swap, or a longer ring) can't be ordered and are refused.
PlanCheck checkPlan(QVector<PlanRow> &rows, const QVector<Known> &known);

} // namespace cli
