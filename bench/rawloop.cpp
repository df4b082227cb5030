#include "rawloop.h"

#include "benchstats.h"
#include "protocol.h"
#include "testnetwork.h"
#include "udplogging.h"

#include <QHash>
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

constexpr int Batch = 64;
constexpr int DatagramBytes = 2048;
constexpr int ReceiveBufferBytes = 8 * 1024 * 1024; // as the program asks

} // namespace

int runRawLoop(int seconds, int receiveBufferCap)
{
    QString why;
    const QStringList addresses = testnet::hostAddresses();
    if (!testnet::insideTestNetwork(&why) || addresses.isEmpty()) {
        std::fprintf(stderr, "lanscout-bench: refusing to open sockets outside the test network: %s\n",
                     qUtf8Printable(why.isEmpty() ? QStringLiteral("no host address") : why));
        return 3;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    int rcvbuf = receiveBufferCap > 0 ? std::min(ReceiveBufferBytes, receiveBufferCap) : ReceiveBufferBytes;
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(protocol::HostPort);
    local.sin_addr.s_addr = htonl(QHostAddress(addresses.first()).toIPv4Address());
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        std::fprintf(stderr, "lanscout-bench: socket on %s:%d: %s\n", qUtf8Printable(addresses.first()),
                     protocol::HostPort, std::strerror(errno));
        return 1;
    }
    socklen_t length = sizeof rcvbuf;
    ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, &length);
    sockaddr_in broadcast = {};
    broadcast.sin_family = AF_INET;
    broadcast.sin_port = htons(protocol::DevicePort);
    broadcast.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    const QByteArray request = protocol::discoveryRequest();

    std::vector<char> buffers(size_t(Batch) * DatagramBytes);
    std::vector<iovec> iov(Batch);
    std::vector<mmsghdr> messages(Batch);
    QHash<quint32, bench::Round> rounds; // since the last report
    quint32 round = 0;
    const qint64 endNs = probeClockNs() + qint64(seconds) * 1000000000;
    qint64 nextSend = probeClockNs();
    for (qint64 now = nextSend; now < endNs; now = probeClockNs()) {
        if (now >= nextSend) { // bounded: one request a second for the given time
            for (auto it = rounds.cbegin(); it != rounds.cend(); ++it)
                std::printf("round %u replies %d first %lld last %lld\n", it.key(), it->replies, it->firstNs,
                            it->lastNs);
            rounds.clear();
            std::printf("tx %u %lld\n", ++round, now);
            std::fflush(stdout);
            ::sendto(fd, request.constData(), size_t(request.size()), 0,
                     reinterpret_cast<const sockaddr *>(&broadcast), sizeof broadcast);
            nextSend += 1000000000;
        }
        pollfd p = {fd, POLLIN, 0};
        ::poll(&p, 1, int(std::max<qint64>(1, (std::min(nextSend, endNs) - now + 999999) / 1000000)));
        for (int n = Batch; n == Batch;) {
            for (int i = 0; i < Batch; ++i) {
                iov[size_t(i)] = {buffers.data() + size_t(i) * DatagramBytes, DatagramBytes};
                messages[size_t(i)] = {};
                messages[size_t(i)].msg_hdr.msg_iov = &iov[size_t(i)];
                messages[size_t(i)].msg_hdr.msg_iovlen = 1;
            }
            n = ::recvmmsg(fd, messages.data(), Batch, MSG_DONTWAIT, nullptr);
            const qint64 at = probeClockNs();
            for (int i = 0; i < n; ++i) {
                const QByteArray data = QByteArray::fromRawData(buffers.data() + size_t(i) * DatagramBytes,
                                                                int(messages[size_t(i)].msg_len));
                if (protocol::parseDiscoveryReply(data)) {
                    bench::Round &r = rounds[round];
                    r.firstNs = r.replies++ ? r.firstNs : at;
                    r.lastNs = at;
                }
            }
        }
    }
    for (auto it = rounds.cbegin(); it != rounds.cend(); ++it)
        std::printf("round %u replies %d first %lld last %lld\n", it.key(), it->replies, it->firstNs,
                    it->lastNs);
    std::printf("rcvbuf %d\n", rcvbuf);
    ::close(fd);
    return 0;
}
