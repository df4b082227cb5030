#pragma once

#include "options.h"

namespace cli {

class Engine;

// Runs a parsed command to its end; returns the exit code. Needs a QCoreApplication.
int run(const Options &options);

// set-ip and apply.
int commission(const Options &options, Engine &engine);

} // namespace cli
