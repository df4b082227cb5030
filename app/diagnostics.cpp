#include "diagnostics.h"

#include "ipitemmode.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTimer>
#include <QWidget>

#include <memory>

#include <algorithm>
#include <vector>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcProbe, "lanScout.probe", QtWarningMsg)

void startResponsivenessProbe(const IpItemMode &model, QWidget &window)
{
    if (!lcProbe().isDebugEnabled())
        return;
    constexpr int PeriodMs = 50;
    auto *timer = new QTimer(&window);
    timer->setTimerType(Qt::PreciseTimer);
    auto *clock = new QElapsedTimer;
    auto lags = std::make_shared<std::vector<qint64>>();
    auto lastReport = std::make_shared<qint64>(0);
    clock->start();
    auto expected = std::make_shared<qint64>(PeriodMs);
    QObject::connect(timer, &QTimer::destroyed, [clock] { delete clock; });
    QObject::connect(timer, &QTimer::timeout, &window, [=, &model] {
        const qint64 now = clock->elapsed();
        lags->push_back(std::max<qint64>(0, now - *expected));
        *expected = now + PeriodMs;
        if (now - *lastReport < 1000)
            return;
        *lastReport = now;
        std::sort(lags->begin(), lags->end());
        const qint64 p99 = (*lags)[std::min(lags->size() - 1, lags->size() * 99 / 100)];
        qCDebug(lcProbe, "rows %d lag-max %lld ms lag-p99 %lld ms", model.rowCount(), lags->back(), p99);
        lags->clear();
    });
    timer->start(PeriodMs);
}

#ifdef Q_OS_UNIX
namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: the event loop does the rest.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}
} // namespace
#endif

void closeOnTerminationSignals(QWidget &window)
{
#ifdef Q_OS_UNIX
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
#else
    Q_UNUSED(window);
#endif
}
