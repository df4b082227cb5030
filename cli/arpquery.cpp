#ifdef _WIN32
// winsock2.h before windows.h, which the Qt headers bring; iphlpapi.h after both.
#include <winsock2.h>

#include <ws2ipdef.h>

#include <iphlpapi.h>
#endif

#include "arpquery.h"

#include "engine.h"
#include "ipv4.h"

#include <QCoreApplication>
#include <QHash>
#include <QNetworkInterface>

#include <algorithm>
#include <chrono>

#ifdef Q_OS_LINUX
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/if_arp.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#endif

namespace cli {

QVector<LocalInterface> localInterfaces()
{
    QVector<LocalInterface> locals;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp))
            continue;
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            LocalInterface l;
            l.name = iface.name();
            l.index = iface.index();
            l.mac = macKey(iface.hardwareAddress()).isEmpty() ? QString() : iface.hardwareAddress();
            l.arp = !l.mac.isEmpty() && (flags & QNetworkInterface::CanBroadcast) &&
                    !(flags & (QNetworkInterface::IsLoopBack | QNetworkInterface::IsPointToPoint));
            l.address = entry.ip().toIPv4Address();
            l.subnet = subnetOf(l.address, entry.prefixLength()).value_or(Subnet{l.address, 32});
            locals << l;
        }
    }
    return locals;
}

namespace {

using Clock = std::chrono::steady_clock;

struct Query
{
    int result; // its index in the results
    quint32 address;
    LocalInterface iface;
};

#ifdef Q_OS_LINUX

qint64 msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void answered(ArpResult &r, const QString &mac)
{
    r.kind = ArpResult::Answered;
    if (!std::any_of(r.macs.cbegin(), r.macs.cend(), [&](const QString &m) { return sameMac(m, mac); }))
        r.macs << macText(mac);
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

struct __attribute__((packed)) ArpPacket
{
    quint16 htype, ptype;
    quint8 hlen, plen;
    quint16 op;
    quint8 sha[6], spa[4], tha[6], tpa[4];
};

// An ARP request of its own on a packet socket (needs CAP_NET_RAW; false without): every host
// that answers is heard, whatever the neighbour cache holds. An ordinary request from this host's
// address, which every stack answers (some ignore a probe from 0.0.0.0); a second one half-way
// through the wait for addresses not yet answered, in case a frame was lost.
bool askRaw(const QVector<Query> &queries, QVector<ArpResult> &results, int waitMs)
{
    const int fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ARP));
    if (fd < 0)
        return false;
    const auto request = [&](const Query &q) {
        ArpPacket p = {};
        p.htype = htons(ARPHRD_ETHER), p.ptype = htons(ETH_P_IP), p.hlen = 6, p.plen = 4;
        p.op = htons(ARPOP_REQUEST);
        std::memcpy(p.sha, QByteArray::fromHex(macKey(q.iface.mac).toLatin1()).constData(), 6);
        const quint32 spa = htonl(q.iface.address), tpa = htonl(q.address);
        std::memcpy(p.spa, &spa, 4), std::memcpy(p.tpa, &tpa, 4);
        sockaddr_ll to = {};
        to.sll_family = AF_PACKET, to.sll_protocol = htons(ETH_P_ARP), to.sll_ifindex = q.iface.index;
        to.sll_halen = 6;
        std::memset(to.sll_addr, 0xff, 6);
        if (::sendto(fd, &p, sizeof p, 0, reinterpret_cast<sockaddr *>(&to), sizeof to) != sizeof p) {
            results[q.result].kind = ArpResult::Unchecked;
            results[q.result].detail = systemError("ARP request not sent");
        }
    };
    for (const Query &q : queries)
        results[q.result].kind = ArpResult::Free, request(q);
    const auto start = Clock::now();
    bool again = true;
    qint64 end = waitMs;
    for (qint64 now = 0; now < end; now = msSince(start)) {
        if (again && now >= waitMs / 2) {
            again = false;
            for (const Query &q : queries) {
                if (results[q.result].kind == ArpResult::Free)
                    request(q);
            }
        }
        pollfd pfd = {fd, POLLIN, 0};
        ::poll(&pfd, 1, int(std::min(end, again ? qint64(waitMs / 2) : end) - now));
        ArpPacket p;
        sockaddr_ll from = {};
        socklen_t size = sizeof from;
        while (::recvfrom(fd, &p, sizeof p, 0, reinterpret_cast<sockaddr *>(&from), &size) == sizeof p) {
            quint32 spa;
            std::memcpy(&spa, p.spa, 4);
            if (from.sll_pkttype == PACKET_OUTGOING || p.ptype != htons(ETH_P_IP) || p.hlen != 6 ||
                p.plen != 4)
                continue;
            for (const Query &q : queries) {
                if (q.address == ntohl(spa) && q.iface.index == from.sll_ifindex &&
                    results[q.result].kind != ArpResult::Unchecked)
                    answered(results[q.result],
                             QString::fromLatin1(QByteArray(reinterpret_cast<char *>(p.sha), 6).toHex()));
            }
            size = sizeof from;
        }
        // Once every address has answered, a moment more for a second host on one of them.
        if (std::all_of(queries.cbegin(), queries.cend(),
                        [&](const Query &q) { return results[q.result].kind != ArpResult::Free; }))
            end = std::min(end, msSince(start) + 100);
    }
    ::close(fd);
    return true;
}

struct Neighbour
{
    quint16 state = NUD_NONE;
    QString mac;
    qint64 confirmedMsAgo = -1;
};
constexpr quint16 Valid = NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;

// The IPv4 neighbour table by rtnetlink, keyed by interface index and address.
bool readNeighbours(int fd, QHash<QPair<int, quint32>, Neighbour> *table)
{
    struct
    {
        nlmsghdr header;
        ndmsg message;
    } request = {};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.message.ndm_family = AF_INET;
    if (::send(fd, &request, sizeof request, 0) < 0)
        return false;
    table->clear();
    static const long ticks = ::sysconf(_SC_CLK_TCK);
    alignas(nlmsghdr) char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        int left = int(n);
        for (auto *h = reinterpret_cast<nlmsghdr *>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE)
                return true;
            if (h->nlmsg_type == NLMSG_ERROR)
                return false;
            if (h->nlmsg_type != RTM_NEWNEIGH)
                continue;
            const auto *m = static_cast<const ndmsg *>(NLMSG_DATA(h));
            Neighbour entry;
            entry.state = m->ndm_state;
            quint32 address = 0;
            int size = int(RTM_PAYLOAD(h));
            for (auto *a = RTM_RTA(m); RTA_OK(a, size); a = RTA_NEXT(a, size)) {
                const auto *data = static_cast<const char *>(RTA_DATA(a));
                if (a->rta_type == NDA_DST && RTA_PAYLOAD(a) == 4)
                    std::memcpy(&address, data, 4), address = ntohl(address);
                else if (a->rta_type == NDA_LLADDR && RTA_PAYLOAD(a) == 6)
                    entry.mac = QString::fromLatin1(QByteArray(data, 6).toHex());
                else if (a->rta_type == NDA_CACHEINFO && RTA_PAYLOAD(a) >= sizeof(nda_cacheinfo))
                    entry.confirmedMsAgo =
                        qint64(reinterpret_cast<const nda_cacheinfo *>(data)->ndm_confirmed) * 1000 / ticks;
            }
            table->insert({m->ndm_ifindex, address}, entry);
        }
    }
}

// The kernel's own resolution, which needs no privilege: an empty UDP datagram to the address
// starts it, and the neighbour table shows how it went. An entry the kernel held before stays
// unless a packet needs it resolved anew, which takes it seconds: only an answer confirmed within
// the wait, or an entry the kernel itself still holds for reachable (confirmed within its
// reachable time, 15 to 45 s), decides.
void askKernel(const QVector<Query> &queries, QVector<ArpResult> &results, int waitMs)
{
    const int nl = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const timeval limit = {0, 200000};
    QHash<QPair<int, quint32>, Neighbour> before, now;
    const bool ok = nl >= 0 && udp >= 0 &&
                    ::setsockopt(nl, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0 &&
                    readNeighbours(nl, &before);
    const QString error = ok ? QString() : systemError("neighbour table not readable");
    QVector<const Query *> open;
    for (const Query &q : queries) {
        ArpResult &r = results[q.result];
        r.kind = ArpResult::Unchecked, r.detail = error;
        if (!ok)
            continue;
        // Port 9 (discard): a host that listens there drops what it gets, and an empty datagram
        // asks nothing of any other. It goes out of the interface asked about (IP_PKTINFO).
        sockaddr_in to = {};
        to.sin_family = AF_INET, to.sin_port = htons(9), to.sin_addr.s_addr = htonl(q.address);
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr message = {};
        message.msg_name = &to, message.msg_namelen = sizeof to;
        message.msg_control = control, message.msg_controllen = sizeof control;
        cmsghdr *c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = IPPROTO_IP, c->cmsg_type = IP_PKTINFO, c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        reinterpret_cast<in_pktinfo *>(CMSG_DATA(c))->ipi_ifindex = q.iface.index;
        if (::sendmsg(udp, &message, 0) < 0) {
            r.detail = systemError("resolution not started");
            continue;
        }
        r.kind = ArpResult::Free, r.detail.clear();
        open << &q;
    }
    const auto start = Clock::now();
    while (!open.isEmpty() && msSince(start) < waitMs) {
        ::usleep(20000);
        if (!readNeighbours(nl, &now))
            break;
        const qint64 elapsed = msSince(start);
        for (int i = open.size() - 1; i >= 0; --i) {
            const Query &q = *open[i];
            const Neighbour n = now.value({q.iface.index, q.address});
            const Neighbour b = before.value({q.iface.index, q.address});
            const bool fresh = !(b.state & Valid) ||
                               (n.confirmedMsAgo >= 0 && n.confirmedMsAgo <= elapsed + 10) ||
                               (n.state & NUD_REACHABLE);
            if ((n.state & Valid) && !n.mac.isEmpty() && fresh)
                answered(results[q.result], n.mac);
            else if (!(n.state & (NUD_FAILED | NUD_NOARP)))
                continue;
            if (n.state & NUD_NOARP)
                results[q.result] = {
                    ArpResult::Unchecked, {}, QStringLiteral("no ARP on %1").arg(q.iface.name)};
            open.remove(i);
        }
    }
    for (const Query *q : qAsConst(open)) {
        const Neighbour n = now.value({q->iface.index, q->address});
        if ((n.state & Valid) && !n.mac.isEmpty())
            results[q->result] = {ArpResult::Cached,
                                  {macText(n.mac)},
                                  QStringLiteral("last confirmed %1 s ago; asking again needs CAP_NET_RAW")
                                      .arg(n.confirmedMsAgo / 1000)};
    }
    if (nl >= 0)
        ::close(nl);
    if (udp >= 0)
        ::close(udp);
}

void ask(const QVector<Query> &queries, QVector<ArpResult> &results, int waitMs)
{
    if (!askRaw(queries, results, waitMs))
        askKernel(queries, results, waitMs);
}

#elif defined(Q_OS_WIN)

// SendARP blocks until an answer or its own timeout (seconds on Windows): one thread per address,
// and what has not answered when the shared wait ends counts as no answer. The threads are left
// to end by themselves. SendARP answers from the system's neighbour cache where it holds the
// address; an entry there from before that is not reachable (stale, probing) may be old, so an
// answer equal to it decides nothing.
void ask(const QVector<Query> &queries, QVector<ArpResult> &results, int waitMs)
{
    struct Shared
    {
        std::mutex lock;
        std::condition_variable done;
        QVector<ArpResult> answers;
        QVector<bool> finished;
        int left = 0;
    };
    auto shared = std::make_shared<Shared>();
    shared->answers.resize(queries.size());
    shared->finished.fill(false, queries.size());
    shared->left = queries.size();
    // Looked up at run time: a system without it (Wine's iphlpapi, seen here) still runs the check,
    // only without telling an answer from the cache apart.
    using GetIpNetEntry2Fn = DWORD(WINAPI *)(PMIB_IPNET_ROW2);
    static const auto getIpNetEntry2 = reinterpret_cast<GetIpNetEntry2Fn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"iphlpapi.dll"), "GetIpNetEntry2")));
    for (int i = 0; i < queries.size(); ++i) {
        const Query &q = queries[i];
        MIB_IPNET_ROW2 row = {};
        row.Address.si_family = AF_INET;
        row.Address.Ipv4.sin_family = AF_INET;
        row.Address.Ipv4.sin_addr.s_addr = htonl(q.address);
        row.InterfaceIndex = NET_IFINDEX(q.iface.index);
        const bool old = getIpNetEntry2 && getIpNetEntry2(&row) == NO_ERROR &&
                         row.PhysicalAddressLength == 6 && row.State != NlnsReachable &&
                         row.State != NlnsIncomplete && row.State != NlnsUnreachable;
        const QString oldMac =
            old ? QString::fromLatin1(
                      QByteArray(reinterpret_cast<const char *>(row.PhysicalAddress), 6).toHex())
                : QString();
        const IPAddr dest = htonl(q.address), source = htonl(q.iface.address);
        std::thread([shared, i, dest, source, oldMac] {
            ULONG mac[2] = {};
            ULONG size = 6;
            const DWORD rc = SendARP(dest, source, mac, &size);
            ArpResult r;
            const QString got =
                QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(mac), 6).toHex());
            if (rc == NO_ERROR && size == 6)
                r = sameMac(got, oldMac)
                        ? ArpResult{ArpResult::Cached, {macText(got)}, QStringLiteral("SendARP")}
                        : ArpResult{ArpResult::Answered, {macText(got)}, {}};
            else if (rc == ERROR_BAD_NET_NAME || rc == ERROR_GEN_FAILURE)
                r.kind = ArpResult::Free;
            else
                r.detail = QStringLiteral("SendARP failed (error %1)").arg(rc);
            const std::lock_guard<std::mutex> guard(shared->lock);
            shared->answers[i] = r, shared->finished[i] = true, --shared->left;
            shared->done.notify_all();
        }).detach();
    }
    std::unique_lock<std::mutex> guard(shared->lock);
    shared->done.wait_for(guard, std::chrono::milliseconds(waitMs), [&] { return shared->left == 0; });
    for (int i = 0; i < queries.size(); ++i)
        results[queries[i].result] =
            shared->finished[i] ? shared->answers[i] : ArpResult{ArpResult::Free, {}, {}};
}

#else

void ask(const QVector<Query> &queries, QVector<ArpResult> &results, int)
{
    for (const Query &q : queries)
        results[q.result].detail = QStringLiteral("no ARP check on this system");
}

#endif

} // namespace

QVector<ArpResult> askSegment(const QVector<quint32> &addresses, int waitMs)
{
    const QVector<LocalInterface> locals = localInterfaces();
    QVector<ArpResult> results(addresses.size());
    QVector<Query> queries;
    for (int i = 0; i < addresses.size(); ++i) {
        const int at = interfaceFor(addresses[i], locals);
        ArpResult &r = results[i];
        const auto own = std::find_if(locals.cbegin(), locals.cend(),
                                      [&](const LocalInterface &l) { return l.address == addresses[i]; });
        if (own != locals.cend())
            r = {ArpResult::Answered,
                 {own->mac.isEmpty() ? QStringLiteral("this host") : macText(own->mac)},
                 QStringLiteral("this host's own address, on %1").arg(own->name)};
        else if (at < 0)
            r.detail = QStringLiteral("no local interface's subnet holds it");
        else if (!locals[at].arp)
            r.detail = QStringLiteral("no ARP on %1").arg(locals[at].name);
        else
            queries << Query{i, addresses[i], locals[at]};
    }
    if (!queries.isEmpty())
        ask(queries, results, waitMs);
    return results;
}

bool addressesInUse(const QVector<AddressClaim> &claims, bool requireFree)
{
    QVector<quint32> addresses;
    for (const AddressClaim &c : claims)
        addresses << parseIpv4(c.address).value_or(0);
    const QVector<ArpResult> results = askSegment(addresses, 1000);
    // What the engine handed over meanwhile (the replies of a discovery, a stop request) is taken
    // in now, so that the device followed next counts its discoveries from the right one.
    QCoreApplication::processEvents();
    bool refuse = false;
    for (int i = 0; i < claims.size(); ++i) {
        const AddressClaim &c = claims[i];
        const Verdict v = conflictVerdict(c.address, c.deviceMac, c.known, results[i], requireFree);
        refuse = refuse || v.refuse;
        if (!v.text.isEmpty())
            note((v.refuse ? QStringLiteral("refused: ") : QString()) +
                 (c.line ? QStringLiteral("line %1: ").arg(c.line) : QString()) + v.text);
    }
    if (refuse)
        note(QStringLiteral("nothing sent (--no-conflict-check skips the check)"));
    return refuse;
}

} // namespace cli
