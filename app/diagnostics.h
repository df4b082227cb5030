#pragma once

class IpItemMode;
class QWidget;

// Field diagnostics, off unless asked for with QT_LOGGING_RULES="lanScout.probe.debug=true":
// once a second, how many devices are listed and how late the GUI thread's event loop
// answered a 50 ms timer (the longest and the 99th percentile wait).
void startResponsivenessProbe(const IpItemMode &model, QWidget &window);

// SIGTERM, SIGINT and SIGHUP close the window, as its close button would, so the program
// ends through its normal teardown. Does nothing where there are no such signals.
void closeOnTerminationSignals(QWidget &window);
