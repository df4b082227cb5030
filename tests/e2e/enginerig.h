#pragma once

#include "devicerecord.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "threadctl.h"

#include <QAbstractItemModelTester>
#include <QStringList>
#include <QVector>

#include <memory>

// The debug output of this process, kept line by line as the default handler prints it
// ("category: message" for every category but the default one). Warnings and worse are
// passed on as well.
namespace logcapture {
void install();
void clear();
QStringList lines();
} // namespace logcapture

// The discovery engine as the program runs it, on a worker thread, feeding a device list
// and table model that live on this (the test's GUI) thread.
class Engine
{
public:
    Engine();
    ~Engine(); // ends the worker thread first

    void start();
    // The engine's discovery count, read on the worker thread it belongs to.
    quint32 discoveryCount() const;
    int rowOf(const QString &mac) const; // -1 when not listed
    QString cell(int row, int column) const;
    DeviceRecord device(int row) const;

    IpItemMode model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    std::unique_ptr<IpList> list;
    std::unique_ptr<ThreadCtl> ctl;
};

// One entry of a device list dump: "ip  i +++", then version ... mac and cnt.
struct DumpEntry
{
    QString mac;
    quint32 cnt;
};
// The whole device list dumps found in captured lines, in order.
QVector<QVector<DumpEntry>> deviceListDumps(const QStringList &lines);

// Lines of the "lanScout.udp" trace: "tx:" for sent, "rx:" for read datagrams.
inline bool isTxDiscovery(const QString &line)
{
    return line == QLatin1String("lanScout.udp: tx:  \"@qxsrhip/all!\"");
}
inline bool isRxReply(const QString &line)
{
    return line.startsWith(QLatin1String("lanScout.udp: rx:  qxsrhip/"));
}

// The settings fields and identity, without cnt: what a device reported.
inline DeviceRecord withoutCount(DeviceRecord rec)
{
    rec.cnt = 0;
    return rec;
}
