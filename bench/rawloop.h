#pragma once

// The physical limit for the program's traffic: a minimal client on one socket (the test bed's
// first host address, port 8888, the same receive buffer the program asks for) that broadcasts
// the discovery request once a second for the given time and takes the replies in with recvmmsg,
// 64 at a time, and the program's own parser, and does nothing else. Runs as a process of its
// own and prints, as the program's probe does, "tx R NS" for each request and "round R replies N
// first NS last NS" for the replies of each, then "rcvbuf BYTES" (what the kernel granted).
// receiveBufferCap: when above 0, the receive buffer a kernel whose net.core.rmem_max is this
// grants.
int runRawLoop(int seconds, int receiveBufferCap);
