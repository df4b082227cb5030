#pragma once

#include "format.h"

#include <QString>
#include <QStringList>

// The command line of lanscout-cli, parsed without running anything.
namespace cli {

// The exit codes.
enum Exit
{
    Verified = 0,
    Differs = 1,  // diff: the devices differ from the baseline
    BadInput = 2, // or refused by a check
    NotFound = 3,
    NotSeen = 4,       // not seen with the new settings in time (apply: or a row not sent, once
                       // anything was)
    OtherSettings = 5, // seen with other settings than asked
    AddressInUse = 6,  // another host answers ARP for the address (or, --require-free, no check)
    NoInterface = 7,   // no socket could be opened: nothing can be heard
    // Ended by a signal: 128 and its number (SIGINT 130, SIGTERM 143).
};

enum class Command
{
    None, // nothing to run: print Parsed::text
    List,
    Watch,
    SetIp,
    Apply,
    History,
    Undo,
    Doctor,
    Snapshot,
    Diff
};

struct Options
{
    Command command = Command::None;
    bool trace = false;
    int waitMs = 3000; // list; set-ip and apply: discovery before the checks
    Format format = Format::Table;
    qint64 durationMs = 0; // watch; 0: until a signal
    // set-ip; apply reads them from its plan
    QString mac, version;
    SetIpRequest request; // ipways and the six settings
    int timeoutMs = 15000;
    int retries = 2;
    bool force = false;
    bool dryRun = false;
    QString planPath; // apply
    // set-ip, apply, undo: where each change is journaled (empty: the default place), or not at
    // all; history and undo read it.
    QString journalPath;
    bool noJournal = false;
    bool last = false; // undo: the newest entry, whatever its device
    // set-ip, apply, undo: ask the segment by ARP whether a host holds a static address first
    bool conflictCheck = true;
    bool requireFree = false; // refuse where that check can't tell
    // Every command that opens sockets: only the addresses of these interfaces (empty: all).
    QStringList interfaces;
    QString capturePath; // doctor: a pcap file of every datagram
    // A snapshot: diff's first file, watch --baseline, apply --from-baseline; diff's second file
    // (empty: the devices found now); snapshot -o.
    QString baselinePath, otherPath, outputPath;
};

struct Parsed
{
    Options options;
    QString text;  // Command::None: what to print on standard output (help, version)
    QString error; // not empty: the command line is wrong (exit BadInput)
};

// arguments[0] is the program.
Parsed parseArguments(const QStringList &arguments);

// The bash completion script of every command and option parseArguments() takes.
QString bashCompletion();

} // namespace cli
