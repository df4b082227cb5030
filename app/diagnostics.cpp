#include "diagnostics.h"

#include "ipitemmode.h"
#include "protocol.h"
#include "shownprobe.h"
#include "signalpipe.h"
#include "udplogging.h"

#include <QHash>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

// What the probe gathers on the GUI thread between two of its reports.
struct ProbeState
{
    struct Round
    {
        int replies = 0;
        qint64 firstNs = 0;
        qint64 lastNs = 0;
    };
    QHash<quint32, Round> rounds; // by discovery count: the replies the table took in
    std::vector<qint64> lagsMs;
    qint64 expectedNs = 0;
    qint64 lastReportNs = 0;
    bool resetSeen = false;
};

} // namespace

void startFieldProbe(IpItemMode &model, QWidget &window)
{
    if (!lcProbe().isDebugEnabled())
        return;
    qCDebug(lcProbe, "phase show %lld", probeClockNs());
    new ShownProbe(window, [] { qCDebug(lcProbe, "shown %lld", probeClockNs()); });

    auto state = std::make_shared<ProbeState>();
    // The rows that come and a row's new address, so that the table can be followed from outside.
    // An address change is a reset followed by the device's record (a reset for other reasons
    // only makes the next record's address be told again). What devices sent is escaped as in the
    // trace: no line here may carry a control byte.
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &window,
                     [&model](const QModelIndex &, int first, int last) {
                         for (int i = first; i <= last; ++i)
                             qCDebug(lcProbe).noquote()
                                 << "added" << protocol::visibleControls(model.index(i, 2).data().toString())
                                 << protocol::visibleControls(model.index(i, 1).data().toString());
                     });
    QObject::connect(&model, &QAbstractItemModel::modelReset, &window, [state] { state->resetSeen = true; });
    model.setObserver({[state](const DeviceRecord &rec) {
                           const qint64 now = probeClockNs();
                           ProbeState::Round &r = state->rounds[rec.cnt];
                           r.firstNs = r.replies++ ? r.firstNs : now;
                           r.lastNs = now;
                           if (state->resetSeen) {
                               state->resetSeen = false;
                               qCDebug(lcProbe).noquote() << "address" << protocol::visibleControls(rec.mac)
                                                          << protocol::visibleControls(rec.ipaddr);
                           }
                       },
                       [&model](int row, int count) {
                           for (int i = row; i < row + count; ++i)
                               qCDebug(lcProbe).noquote()
                                   << "removed"
                                   << protocol::visibleControls(model.index(i, 2).data().toString());
                       }});

    // A 50 ms timer: how much later than asked each wait ended is the time the event loop was
    // busy elsewhere. Once a second: rows, that lag, and the rounds taken in since the last report
    // (a round that spans two reports comes in two parts).
    constexpr qint64 PeriodMs = 50;
    auto *timer = new QTimer(&window);
    timer->setTimerType(Qt::PreciseTimer);
    state->expectedNs = state->lastReportNs = probeClockNs() + PeriodMs * 1000000;
    QObject::connect(timer, &QTimer::timeout, &window, [state, &model] {
        const qint64 now = probeClockNs();
        state->lagsMs.push_back(std::max<qint64>(0, now - state->expectedNs) / 1000000);
        state->expectedNs = now + PeriodMs * 1000000;
        if (now - state->lastReportNs < 1000000000)
            return;
        state->lastReportNs = now;
        std::sort(state->lagsMs.begin(), state->lagsMs.end());
        const qint64 p99 = state->lagsMs[std::min(state->lagsMs.size() - 1, state->lagsMs.size() * 99 / 100)];
        // Every wait that ended late, so that percentiles over longer times can be taken outside.
        QByteArray late;
        for (const qint64 lag : state->lagsMs) {
            if (lag > 0)
                late += (late.isEmpty() ? "" : ",") + QByteArray::number(lag);
        }
        qCDebug(lcProbe, "rows %d lag-max %lld ms lag-p99 %lld ms waits %d late %s", model.rowCount(),
                state->lagsMs.back(), p99, int(state->lagsMs.size()),
                late.isEmpty() ? "-" : late.constData());
        state->lagsMs.clear();
        for (auto it = state->rounds.cbegin(); it != state->rounds.cend(); ++it)
            qCDebug(lcProbe, "round %u replies %d first %lld last %lld", it.key(), it->replies, it->firstNs,
                    it->lastNs);
        state->rounds.clear();
    });
    timer->start(int(PeriodMs));
}

void closeOnTerminationSignals(QWidget &window)
{
#ifdef Q_OS_UNIX
    forwardSignals({SIGTERM, SIGINT, SIGHUP}, &window, [&window](int) { window.close(); });
#else
    Q_UNUSED(window);
#endif
}
