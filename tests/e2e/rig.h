#pragma once

// What the end-to-end and flood tests run in the test bed: the discovery engine in this
// process, lanscout-devsim in the LAN namespace, and the whole program as a process.

#include "devicerecord.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "launchers.h"
#include "threadctl.h"

#include <QAbstractItemModelTester>
#include <QVector>

#include <memory>

// The debug output of this process line by line as the default handler prints it ("category:
// message", no category for the default one). Warnings and worse are passed on too.
namespace logcapture {
void install();
void clear();
QStringList lines();
} // namespace logcapture

// The engine as the program runs it: worker thread, device list and model on this thread.
class Engine
{
public:
    Engine() : list(std::make_unique<IpList>(model)) {}
    ~Engine(); // ends the worker thread first

    void start();
    quint32 discoveryCount() const;      // read on the worker thread
    int rowOf(const QString &mac) const; // -1 when not listed
    QString cell(int row, int column) const { return model.index(row, column).data().toString(); }
    DeviceRecord device(int row) const;

    IpItemMode model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    std::unique_ptr<IpList> list;
    std::unique_ptr<ThreadCtl> ctl;
};

inline bool isTxDiscovery(const QString &line)
{
    return line == QLatin1String("lanScout.udp: tx:  \"@qxsrhip/all!\"");
}
inline bool isRxReply(const QString &line)
{
    return line.startsWith(QLatin1String("lanScout.udp: rx:  qxsrhip/"));
}
inline DeviceRecord withoutCount(DeviceRecord rec)
{
    rec.cnt = 0;
    return rec;
}

// The simulator, the program and the flood tool, as the benchmark starts them too.
using testbed::AppProcess;
using testbed::devsimPath;
using testbed::Flood;
using testbed::floodPath;
using testbed::ipTool;
using testbed::SimProcess;
