#include "threadctl.h"

#include "udpserver.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// The engine runs for days on a site. glibc raises its mapping threshold to the size of every
// large block freed, and from then on blocks under it come from the heap, whose pages stay with
// the process: each new largest burst (changes the GUI thread had not taken yet, the index of a
// longer list) would keep its memory for good. At a fixed threshold (glibc's default, 128 KiB)
// every larger block gets a mapping of its own, returned as it is freed.
void keepLargeBlocksMapped()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

} // namespace

ThreadCtl::ThreadCtl(IpList &list, QObject *parent) : QObject(parent), server(new UdpServer(list))
{
    keepLargeBlocksMapped();
    workThread.setObjectName(QStringLiteral("lanScout network"));
    server->moveToThread(&workThread);
    connect(&workThread, &QThread::finished, server, &QObject::deleteLater);
    workThread.start(QThread::InheritPriority);
}

ThreadCtl::~ThreadCtl()
{
    // Asks long work on the worker (a big list dump, a burst of reads) to stop early.
    workThread.requestInterruption();
    workThread.quit();
    workThread.wait();
}
