#pragma once

class IpItemMode;
class QWidget;

// Field diagnostics, off unless asked for with QT_LOGGING_RULES="lanScout.probe.debug=true", on
// the GUI thread, stamped on the probe's clock (udplogging.h): "phase show" now, "shown" once the
// window is painted; "added <mac> <ipaddr>" for each row that comes, "address <mac> <ipaddr>" when a
// row's address changes, "removed <mac>" for each row that goes; once a second the rows listed and how
// late the event loop answered a 50 ms timer ("rows N lag-max M ms lag-p99 P ms waits W late L,..." with
// every late wait's ms), and for each
// discovery round the replies the table took in since the last report ("round R replies N first
// NS last NS"). The worker adds "tx R NS" for each discovery request.
void startFieldProbe(IpItemMode &model, QWidget &window);

// SIGTERM, SIGINT and SIGHUP close the window, as its close button would, so the program
// ends through its normal teardown. Does nothing where there are no such signals.
void closeOnTerminationSignals(QWidget &window);
