#include "floodchecks.h"

#include <QDebug>

#include <algorithm>

QStringList simulatedMacs()
{
    return {QStringLiteral("02:00:00:00:00:01"), QStringLiteral("02:00:00:00:00:02"),
            QStringLiteral("02:00:00:00:00:03")};
}

LagFigures lagFigures(const QVector<AppProcess::Probe> &probes)
{
    LagFigures f;
    for (const AppProcess::Probe &p : probes) {
        ++f.seconds;
        f.worstP99Ms = std::max(f.worstP99Ms, p.lagP99Ms);
        f.maxMs = std::max(f.maxMs, p.lagMaxMs);
        f.minRows = f.minRows < 0 ? p.rows : std::min(f.minRows, p.rows);
        f.maxRows = std::max(f.maxRows, p.rows);
    }
    return f;
}

void printLag(const char *what, const LagFigures &lag)
{
    qInfo("%s: GUI event loop over %d probe lines: lag p99 (worst second) %d ms, lag max %d ms; rows %d..%d",
          what, lag.seconds, lag.worstP99Ms, lag.maxMs, lag.minRows, lag.maxRows);
}

void printMemory(const char *what, qint64 startKib, qint64 peakKib, qint64 endKib)
{
    qInfo("%s: VmRSS start %lld KiB, peak %lld KiB (+%lld), end %lld KiB (+%lld)", what, startKib, peakKib,
          peakKib - startKib, endKib, endKib - startKib);
}
