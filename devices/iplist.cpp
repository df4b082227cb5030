#include "iplist.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QThread>

#include <algorithm>

IpList::IpList(DeviceListSink &sink, QObject *parent) : QObject(parent), m_sink(sink) {}

IpList::~IpList() = default;

namespace {

// Past this many texts the table is cleaned; what the list still holds keeps its copy.
constexpr int SharedTextLimit = 1024;

// A refresh keeps the text held so far when the reply sent the same again, so the list's record,
// the sink's and the table of shared texts keep sharing one copy.
template <typename Share> void refresh(QString &held, const QString &received, Share share)
{
    if (held != received)
        held = share(received);
}

} // namespace

QString IpList::shared(const QString &text)
{
    const auto found = m_shared.constFind(text);
    if (found != m_shared.constEnd())
        return *found;
    if (m_shared.size() >= SharedTextLimit) {
        // Texts nothing but the table holds any more go first; if that is not enough (thousands
        // of distinct versions), the table starts afresh.
        for (auto it = m_shared.begin(); it != m_shared.end();)
            it = it->isDetached() ? m_shared.erase(it) : std::next(it);
        if (m_shared.size() >= SharedTextLimit / 2)
            m_shared.clear();
    }
    m_shared.insert(text);
    return text;
}

void IpList::mergeDevice(DeviceRecord rec, const SeenOn &seenOn)
{
    const Key key(rec.mac, rec.version);
    const auto found = m_index.constFind(key);
    const auto share = [this](const QString &text) { return shared(text); };
    if (found == m_index.constEnd()) {
        const int row = int(deviceList.size());
        m_index.insert(key, row);
        // mac, ipaddr and the free-form ninth field are most often a device's own.
        for (QString *text : {&rec.version, &rec.ipways, &rec.mask, &rec.gateway, &rec.dns1, &rec.dns2})
            *text = shared(*text);
        deviceList.append(rec);
        queueChange({Change::Append, row, std::move(rec), false, seenOn});
        return;
    }
    const int row = found.value();
    DeviceRecord &e = deviceList[row];
    const bool ipChanged = e.ipaddr != rec.ipaddr;
    refresh(e.ipways, rec.ipways, share);
    refresh(e.ipaddr, rec.ipaddr, [](const QString &text) { return text; });
    refresh(e.mask, rec.mask, share);
    refresh(e.gateway, rec.gateway, share);
    refresh(e.dns1, rec.dns1, share);
    refresh(e.dns2, rec.dns2, share);
    refresh(e.extra, rec.extra, [](const QString &text) { return text; });
    e.cnt = rec.cnt;
    queueChange({Change::Update, row, e, ipChanged, seenOn});
}

int IpList::ageDevices(quint32 count)
{
    // One stable compaction pass. The row reported for each removal is the position the
    // entry has at the moment it goes, so the GUI side can replay the removals in order.
    int kept = 0;
    int removed = 0;
    for (int i = 0; i < deviceList.size(); ++i) {
        const quint32 age = count - deviceList[i].cnt; // wraps modulo 2^32 by design
        if (age > 3) {
            queueChange({Change::Remove, kept, {}, false, {}});
            ++removed;
            continue;
        }
        if (kept != i)
            deviceList[kept] = std::move(deviceList[i]);
        ++kept;
    }
    if (removed) {
        deviceList.resize(kept);
        rebuildIndex();
    }
    return removed;
}

void IpList::rebuildIndex()
{
    m_index.clear();
    m_index.reserve(deviceList.size());
    for (int i = 0; i < deviceList.size(); ++i)
        m_index.insert(Key(deviceList[i].mac, deviceList[i].version), i);
}

void IpList::printIpList() const
{
    // The dump costs O(devices) lines per reply: skip all formatting when nobody reads it.
    if (!QLoggingCategory::defaultCategory()->isDebugEnabled())
        return;
    // Lists up to DumpLimit, which is what a site has, are dumped whole; a flood of forged
    // devices would otherwise keep the worker dumping for minutes (quadratic), deaf to honest
    // replies and to its timer.
    qDebug() << "printIpList------------------------------------------------";
    QThread *thread = QThread::currentThread();
    const int shown = std::min(int(deviceList.size()), DumpLimit);
    for (int i = 0; i < shown; ++i) {
        // A dump of a long list takes a while: don't hold up the program's end for it.
        if (thread->isInterruptionRequested())
            return;
        const DeviceRecord &e = deviceList[i];
        qDebug() << "ip " << i << "++++++++++++++++++++++++++";
        qDebug() << "version: " << e.version;
        qDebug() << "ipways: " << e.ipways;
        qDebug() << "ipaddr: " << e.ipaddr;
        qDebug() << "mask: " << e.mask;
        qDebug() << "gateway: " << e.gateway;
        qDebug() << "mac: " << e.mac;
        qDebug() << "cnt: " << e.cnt;
    }
    if (shown < deviceList.size())
        qDebug() << "... and" << deviceList.size() - shown << "more";
}

std::optional<SetIpRequest> IpList::takeSetIpRequest()
{
    const std::lock_guard<std::mutex> lock(m_stackMutex);
    if (setIpStack.isEmpty())
        return std::nullopt;
    SetIpRequest request = setIpStack.takeLast();
    return request;
}

void IpList::pushSetIpRequest(const SetIpRequest &request)
{
    const std::lock_guard<std::mutex> lock(m_stackMutex);
    setIpStack.append(request);
}

bool IpList::getDevice(int row, DeviceRecord &out) const
{
    return m_sink.deviceAt(row, out);
}

int IpList::count() const
{
    return m_sink.deviceCount();
}

bool IpList::sameSettings(const DeviceRecord &rec, const SetIpRequest &request)
{
    return rec.ipways == request.ipways && rec.ipaddr == request.ipaddr && rec.mask == request.mask &&
           rec.gateway == request.gateway && rec.dns1 == request.dns1 && rec.dns2 == request.dns2;
}

void IpList::copyDevice(const DeviceRecord &rec, SetIpRequest &request)
{
    const quint32 keep = request.cnt;
    request = rec;
    request.cnt = keep;
}

void IpList::queueChange(Change change)
{
    bool wasEmpty;
    {
        const std::lock_guard<std::mutex> lock(m_changesMutex);
        wasEmpty = m_changes.isEmpty();
        m_changes.append(std::move(change));
    }
    // One wake-up per batch: the GUI thread takes everything queued until it runs.
    if (wasEmpty)
        scheduleApply();
}

void IpList::scheduleApply()
{
    QMetaObject::invokeMethod(this, "applySomeChanges", Qt::QueuedConnection);
}

bool IpList::collectChanges()
{
    // The backlog is finished before more is taken: a swap, never a copy of a burst's changes
    // (copying 50,000 records held the window up for milliseconds).
    if (m_next < m_backlog.size())
        return true;
    // Outside the lock: the records were freed as they were applied. A burst's worth of room is
    // given back rather than kept for good (a hundred bytes a change, a change a device). What is
    // kept stays under the allocator's mapping threshold (the engine fixes it at 128 KiB), so
    // anything larger was a mapping of its own and goes back to the system whole.
    constexpr int KeptCapacity = 96 * 1024 / int(sizeof(Change));
    if (m_backlog.capacity() > KeptCapacity)
        m_backlog = QVector<Change>();
    else
        m_backlog.clear();
    m_next = 0;
    const std::lock_guard<std::mutex> lock(m_changesMutex);
    m_backlog.swap(m_changes);
    return !m_backlog.isEmpty();
}

void IpList::applyPendingChanges()
{
    while (collectChanges()) {
        while (m_next < m_backlog.size())
            applyChange(m_next);
    }
}

void IpList::applySomeChanges()
{
    constexpr qint64 BudgetNs = 3 * 1000 * 1000; // the window then answers within a few ms
    QElapsedTimer clock;
    clock.start();
    int done = 0;
    // Until nothing is left: the worker wakes this up again only once it finds its queue empty.
    while (collectChanges()) {
        applyChange(m_next);
        // Reading the clock is cheap next to a model change, but not free.
        if (++done % 64 == 0 && clock.nsecsElapsed() > BudgetNs) {
            scheduleApply();
            return;
        }
    }
}

void IpList::applyChange(int &next)
{
    Change &c = m_backlog[next];
    switch (c.kind) {
    case Change::Append:
        m_sink.appendDevice(c.rec, c.seenOn);
        ++next;
        break;
    case Change::Update:
        m_sink.refreshDevice(c.row, c.rec, c.ipChanged, c.seenOn);
        ++next;
        break;
    case Change::Remove: {
        // Removals at the same position come from one ageing pass over adjacent entries:
        // take them out of the sink as one range.
        int n = 1;
        while (next + n < m_backlog.size() && m_backlog[next + n].kind == Change::Remove &&
               m_backlog[next + n].row == c.row)
            ++n;
        m_sink.removeDeviceRows(c.row, n);
        next += n;
        break;
    }
    }
    c.rec = DeviceRecord(); // frees the texts now rather than with the whole batch
    c.seenOn = SeenOn();
}
