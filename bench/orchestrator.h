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
    int startupRuns = 5;
    bool debugOn = true; // also measure with the debug output on
    bool search = true;  // look for the largest N that holds
    int maxDevices = 100000;
    bool smoke = false; // the quick check: fails only when the pipeline is plainly broken
    // When above 0: net.core.rmem_max of the test network (a per-namespace setting), e.g. 212992,
    // a stock kernel's, to see what the program's receive buffer request gets there.
    int rmemMax = 0;
    QString markdownPath;
};

int runBenchmark(const BenchPlan &plan);
