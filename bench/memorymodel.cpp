// lanscout-bench-memory: the heap the device list and the window's table model hold per listed
// device, without sockets or a window, so that it can be counted exactly (mallinfo2) and run under
// heaptrack or massif. The records come from the simulator's replies, parsed as the worker parses
// them, merged for a few discovery rounds and applied to the model as the GUI thread applies them.

#include "ipitemmode.h"
#include "iplist.h"
#include "protocol.h"
#include "simdevices.h"

#include <QCoreApplication>

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace {

size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int devices = args.value(1).toInt();
    const int rounds = args.size() > 2 ? args.value(2).toInt() : 4;
    if (devices <= 0 || devices > 100000 || rounds <= 0) {
        std::fprintf(stderr, "usage: lanscout-bench-memory DEVICES [ROUNDS]\n");
        return 2;
    }
    QVector<QByteArray> replies;
    {
        const devsim::SimDevices sim(*devsim::Subnet::fromText(QStringLiteral("198.18.0.0/16")), devices);
        for (int i = 0; i < devices; ++i)
            replies.append(protocol::discoveryReply(sim.device(i)));
    }
    IpItemMode model;
    IpList list(model);
    malloc_trim(0);
    const size_t before = heapInUse();
    // Every round each device answers again, as it does once a second: the texts are parsed anew
    // each time, so what sharing there is must survive the refreshes.
    for (quint32 round = 1; round <= quint32(rounds); ++round) {
        for (const QByteArray &reply : qAsConst(replies)) {
            auto rec = protocol::parseDiscoveryReply(reply);
            rec->cnt = round;
            list.mergeDevice(std::move(*rec));
        }
        list.ageDevices(round);
        list.applyPendingChanges();
    }
    malloc_trim(0);
    const size_t after = heapInUse();
    std::printf("devices %d rows %d heap %zu bytes per-device %.0f\n", devices, model.rowCount(),
                after - before, double(after - before) / devices);
    // Ends without tearing the list and the model down: under heaptrack what they hold then shows
    // as not freed, by where it was allocated.
    std::fflush(stdout);
    _exit(model.rowCount() == devices ? 0 : 1);
}
