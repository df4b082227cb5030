#pragma once

#include "benchsupport.h"

#include <QtGlobal>

// One measurement of the program's own pipeline: the window as the program builds it, the
// engine (ThreadCtl, UdpServer), the device list and the table model, against N simulated
// devices. Runs in a process of its own and prints one "result ..." line.
struct EngineRunOptions : bench::TrafficOptions
{
    // A run already failed (a spurious removal, devices missing) stops after this much of the
    // window: the rest would add only time.
    int failFastS = 15;
};

int runEngine(const EngineRunOptions &options);

// The program's start-up as main() does it, stamped: prints "phase <name> <ns>" as it passes
// each step (mainNs and appNs: when main() was entered and the application object made),
// "shown <ns>" when the window is on screen, and quits after lifetimeMs.
int runAppStartup(int lifetimeMs, qint64 mainNs, qint64 appNs);
