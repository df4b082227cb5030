#pragma once

#include "benchsupport.h"

// lanscout-cli list --wait S --format json against the simulator: the whole process, timed from
// its start to its end, its devices counted in the JSON it printed, its peak resident memory as
// the kernel reports it when it ends. Runs in a process of its own and prints one "result ..." line.
struct CliRunOptions : bench::TrafficOptions
{
    CliRunOptions() { windowS = 3; } // the wait
};

int runCliList(const CliRunOptions &options);
