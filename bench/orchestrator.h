#pragma once

#include <QList>

// Runs the whole benchmark: every measurement in a fresh process of this program, one after
// the other, then prints the tables and the verdict on each target.
struct BenchPlan
{
    QList<int> devices{100, 1000, 10000};
    QList<int> spreads{200, 0};
    int windowS = 60;       // lanScout's measuring window
    int rawWindowS = 10;    // the minimal loop's
    int searchWindowS = 15; // the window of the runs that look for the largest N that holds
    int fillTimeoutS = 15;
    int failFastS = 10;
    int startupRuns = 21;
    bool debugOn = true; // also measure with the debug output on
    bool search = true;  // look for the largest N that holds
    int maxDevices = 100000;
    bool smoke = false; // the quick check: fails only when the pipeline is plainly broken
    // When above 0: every receive buffer is set to this many bytes, as a kernel whose
    // net.core.rmem_max is this grants the program's request for 8 MiB (212992 on a stock
    // kernel). That limit can be changed only for the whole machine, so the benchmark sets the
    // buffers of lanScout's sockets itself, from outside the engine.
    int receiveBufferCap = 0;
    QString markdownPath;
};

int runBenchmark(const BenchPlan &plan);
