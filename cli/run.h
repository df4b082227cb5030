#pragma once

#include "options.h"

namespace cli {

class Engine;

// Runs a parsed command to its end; returns the exit code. Needs a QCoreApplication.
int run(const Options &options);

// set-ip, apply and undo.
int commission(const Options &options, Engine &engine);

// doctor: a run of discovery, what each interface did, and findings.
int doctor(const Options &options);

// snapshot: the devices found, as JSON, to standard output or a file put in place whole.
int snapshot(const Options &options, Engine &engine);
// diff: a baseline against the devices found (engine) or a second file (no engine: no socket).
int diff(const Options &options, Engine *engine);

// history: the journal's changes. No socket is opened.
int history(const Options &options);
struct PlanRow;
// undo: the row that puts back the device of the newest entry that options name, said; none, with
// *exit BadInput or NotFound (said), when there is nothing to send.
QVector<PlanRow> undoRows(const Options &options, int *exit);

} // namespace cli
