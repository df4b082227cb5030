#pragma once

#include "benchsupport.h"

// The physical limit for the same traffic: a minimal client on one socket that sends the
// discovery request every second and takes replies in with recvmmsg and the program's own
// parser, and does nothing else. Runs in a process of its own and prints one "result ..." line.
struct RawRunOptions : bench::TrafficOptions
{
    RawRunOptions() { windowS = 10; }
};

int runRaw(const RawRunOptions &options);
