#pragma once

#include <QString>

namespace testnet {

// True only inside the private network namespace that testbed/run-in-testbed made:
// LANSCOUT_TESTBED names it and this process's network namespace is not the one of
// process 1 (the machine's own). Otherwise *why says what is wrong.
bool insideTestNetwork(QString *why = nullptr);

// The namespace the simulated devices live in, and the host addresses of this namespace.
QString lanNamespace();
QStringList hostAddresses();

} // namespace testnet

// In initTestCase() of every test that opens a socket: refuses to run anywhere else.
#define LANSCOUT_REQUIRE_TEST_NETWORK()                                                                      \
    do {                                                                                                     \
        QString why_;                                                                                        \
        if (!testnet::insideTestNetwork(&why_))                                                              \
            QFAIL(qPrintable(QStringLiteral("refusing to open sockets outside the test network: ") + why_)); \
    } while (0)
