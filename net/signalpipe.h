#pragma once

#include <functional>
#include <initializer_list>

class QObject;

// Calls handler with the signal's number, on context's thread through its event loop, each time
// one of the signals in numbers arrives; from then on they no longer end the process at once. The
// handler lives as long as context. Unix only: elsewhere (no such signals) it does nothing.
void forwardSignals(std::initializer_list<int> numbers, QObject *context, std::function<void(int)> handler);
