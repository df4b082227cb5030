#include "rawrun.h"

#include "benchstats.h"
#include "benchsupport.h"
#include "protocol.h"

#include <QCoreApplication>
#include <QHostAddress>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

// As many datagrams per system call as the engine reads per wake-up, at most.
constexpr int Batch = 64;
constexpr int DatagramBytes = 2048;
// The engine asks for the same.
constexpr int ReceiveBufferBytes = 8 * 1024 * 1024;

class Socket
{
public:
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
};

} // namespace

int runRaw(const RawRunOptions &o)
{
    if (!requireTestNetwork())
        return 3;
    const QStringList addresses = testnet::hostAddresses();
    if (addresses.isEmpty()) {
        reportError(QStringLiteral("the test bed has no host address"));
        return 1;
    }
    QString why;
    Devsim sim;
    if (!sim.start({QStringLiteral("--devices"), QString::number(o.devices), QStringLiteral("--spread"),
                    QString::number(o.spreadMs)},
                   o.fillTimeoutS + o.windowS + 30, &why)) {
        reportError(why);
        return 1;
    }

    Socket socket;
    socket.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    // The kernel grants min(request, net.core.rmem_max), doubled for its bookkeeping.
    int rcvbuf =
        o.receiveBufferCap > 0 ? std::min(ReceiveBufferBytes, o.receiveBufferCap) : ReceiveBufferBytes;
    ::setsockopt(socket.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(socket.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ::setsockopt(socket.fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    socklen_t len = sizeof rcvbuf;
    ::getsockopt(socket.fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, &len);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(protocol::HostPort);
    local.sin_addr.s_addr = htonl(QHostAddress(addresses.first()).toIPv4Address());
    if (socket.fd < 0 || ::bind(socket.fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        reportError(QStringLiteral("cannot bind %1:%2: %3")
                        .arg(addresses.first())
                        .arg(protocol::HostPort)
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return 1;
    }
    sockaddr_in broadcast = {};
    broadcast.sin_family = AF_INET;
    broadcast.sin_port = htons(protocol::DevicePort);
    broadcast.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    const QByteArray request = protocol::discoveryRequest();

    std::vector<char> buffers(size_t(Batch) * DatagramBytes);
    std::vector<iovec> iov(Batch);
    std::vector<mmsghdr> messages(Batch);

    std::vector<bool> seen(size_t(o.devices), false);
    int distinct = 0;
    RoundMeter rounds;
    QHash<quint32, qint64> sentNs; // round -> when its request went out
    qint64 accepted = 0;
    quint32 round = 0;
    const qint64 started = monotonicNs();
    qint64 nextSend = started;
    qint64 listedNs = 0;
    bool inWindow = false;
    qint64 windowStart = 0;
    qint64 windowEnd = started + qint64(o.fillTimeoutS) * 1000000000;
    double cpuBefore = 0;
    QHash<QByteArray, qint64> udpBefore;
    qint64 backlogBefore = 0;
    quint32 roundBefore = 0;

    for (;;) {
        qint64 now = monotonicNs();
        if (now >= nextSend) {
            // Bounded: one request a second for the length of the run.
            ::sendto(socket.fd, request.constData(), size_t(request.size()), 0,
                     reinterpret_cast<const sockaddr *>(&broadcast), sizeof broadcast);
            ++round;
            sentNs.insert(round, now);
            nextSend += 1000000000;
            // Once a second, so the simulator's output pipes never fill up.
            QCoreApplication::processEvents();
        }
        if (!inWindow && (listedNs || now >= windowEnd)) {
            inWindow = true;
            accepted = 0;
            rounds.clear();
            cpuBefore = cpuSeconds();
            udpBefore = udpNow();
            backlogBefore = backlogDropsNow();
            roundBefore = round;
            windowStart = now;
            windowEnd = now + qint64(o.windowS) * 1000000000;
        } else if (inWindow && now >= windowEnd) {
            break;
        }
        pollfd p = {socket.fd, POLLIN, 0};
        const qint64 waitNs = std::min(nextSend, windowEnd) - now;
        ::poll(&p, 1, int(std::max<qint64>(1, (waitNs + 999999) / 1000000)));
        for (;;) {
            for (int i = 0; i < Batch; ++i) {
                iov[size_t(i)] = {buffers.data() + size_t(i) * DatagramBytes, DatagramBytes};
                messages[size_t(i)] = {};
                messages[size_t(i)].msg_hdr.msg_iov = &iov[size_t(i)];
                messages[size_t(i)].msg_hdr.msg_iovlen = 1;
            }
            const int n = ::recvmmsg(socket.fd, messages.data(), Batch, MSG_DONTWAIT, nullptr);
            if (n <= 0)
                break;
            now = monotonicNs();
            for (int i = 0; i < n; ++i) {
                const QByteArray data = QByteArray::fromRawData(buffers.data() + size_t(i) * DatagramBytes,
                                                                int(messages[size_t(i)].msg_len));
                const auto rec = protocol::parseDiscoveryReply(data);
                if (!rec)
                    continue;
                ++accepted;
                rounds.add(round, now);
                const int device = simulatedDeviceOfMac(rec->mac);
                if (device >= 0 && device < o.devices && !seen[size_t(device)]) {
                    seen[size_t(device)] = true;
                    if (++distinct == o.devices)
                        listedNs = now;
                }
            }
            if (n < Batch)
                break;
        }
    }
    const qint64 stopped = monotonicNs();
    const double cpuAfter = cpuSeconds();
    const auto udpAfter = udpNow();
    const qint64 backlogAfter = backlogDropsNow();
    const double windowS = double(stopped - windowStart) / 1e9;
    const qint64 offered = qint64(round - roundBefore) * o.devices;
    std::printf(
        "result mode=raw devices=%d spread=%d all_listed=%d listed_ms=%.0f window_s=%.1f accepted=%lld "
        "offered=%lld acc_per_s=%.0f intake_per_s=%.0f cpu_per_k=%.4f udp_drops=%lld backlog_drops=%lld "
        "rcvbuf=%d\n",
        o.devices, o.spreadMs, listedNs ? 1 : 0, listedNs ? double(listedNs - started) / 1e6 : -1.0, windowS,
        accepted, offered, rounds.rounds().size() >= 3 ? rounds.sustainedRate() : double(accepted) / windowS,
        rounds.medianIntakeRate(sentNs, o.devices / 2),
        accepted ? (cpuAfter - cpuBefore) * 1000 / double(accepted) : -1.0,
        udpAfter.value("InErrors") - udpBefore.value("InErrors"), backlogAfter - backlogBefore, rcvbuf);
    std::fflush(stdout);
    sim.stop();
    return 0;
}
