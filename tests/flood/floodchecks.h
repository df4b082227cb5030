#pragma once

#include "floodrig.h"

#include <QStringList>

// Figures and checks the flood tests share.

// Sanitizers keep freed memory in quarantine: there the memory figures are printed, not checked.
#ifdef LANSCOUT_SANITIZED
constexpr bool CheckMemory = false;
#else
constexpr bool CheckMemory = true;
#endif

// The three devices lanscout-devsim plays by default.
QStringList simulatedMacs();

struct LagFigures
{
    int seconds = 0; // probe lines
    int worstP99Ms = -1;
    int maxMs = -1;
    int minRows = -1;
    int maxRows = -1;
};
LagFigures lagFigures(const QVector<AppProcess::Probe> &probes);

// Prints the figures with qInfo, so they show in the test log.
void printLag(const char *what, const LagFigures &lag);
void printMemory(const char *what, qint64 startKib, qint64 peakKib, qint64 endKib);
