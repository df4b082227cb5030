#pragma once

// The physical limit for the same traffic: a minimal client on one socket that sends the
// discovery request every second and takes replies in with recvmmsg and the program's own
// parser, and does nothing else. Runs in a process of its own and prints one "result ..." line.
struct RawRunOptions
{
    int devices = 100;
    int spreadMs = 200;
    int windowS = 10;
    int fillTimeoutS = 15;
    int receiveBufferCap = 0; // as for the engine
};

int runRaw(const RawRunOptions &options);
