#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <vector>

// The arithmetic of the benchmark, kept free of sockets, clocks and processes so that it can
// be checked on its own.
namespace bench {

// Nearest-rank percentile (p from 0 to 100) of an unsorted sample; 0 for an empty one.
double percentile(std::vector<double> values, double p);

// The "Udp:" counters of /proc/net/snmp (a header line of names, then a line of values),
// by name; empty when the text has no such pair of lines.
QHash<QByteArray, qint64> udpCounters(const QByteArray &snmpText);

// Packets the kernel dropped because a CPU's input backlog was full: the sum of the second
// column (hexadecimal) of /proc/net/softnet_stat over all CPUs; -1 for text without lines.
qint64 softnetDropped(const QByteArray &softnetText);

// The simulator's device number behind a MAC it gives out ("02:00:00:00:00:01" is device 0);
// -1 for any other MAC.
int simulatedDeviceOfMac(const QString &mac);

// The replies of one discovery round that reached the receiver, and when the first and the last
// of them did (ns on one clock).
struct Round
{
    int replies = 0;
    qint64 firstNs = 0, lastNs = 0;
};
using Rounds = QMap<quint32, Round>; // by discovery count

// How fast each round was taken in: its replies over the time from its request (requestNs: round
// -> when the request went out) to its last reply. Only rounds whose request lies in [fromNs,
// toNs] and that have at least minReplies count; a span under a millisecond counts as one.
std::vector<double> intakeRates(const Rounds &rounds, const QHash<quint32, qint64> &requestNs, qint64 fromNs,
                                qint64 toNs, int minReplies);

// Replies per second over the whole rounds whose request lies in [fromNs, toNs]: their replies over
// the time from the first of those requests to the first request after them. Unlike a count over
// a fixed window it does not depend on where the window cuts the rounds. 0 with no whole round.
double sustainedRate(const Rounds &rounds, const QHash<quint32, qint64> &requestNs, qint64 fromNs,
                     qint64 toNs);

// The longest time in [from, to] without a stamp (stamps in ascending order): from the last
// stamp at or before from (or from itself) through the stamps inside to to.
qint64 longestGap(const QVector<qint64> &stamps, qint64 from, qint64 to);

// "key=value key=value ..." (values without blanks) into a map; words without "=" are skipped.
QHash<QString, QString> parseFields(const QString &line);

// The soak's check of lanscout-cli watch against the simulator's churn. Times in ms on one clock.
struct TruthEvent
{
    enum Kind
    {
        Leave,
        Back,
        Appear, // a new device; field "start": one there from the start
        Renumber,
        Change, // field: the field that changed
    } kind;
    qint64 ms;
    QString mac, field;
};
struct WatchEvent
{
    qint64 ms;
    QString mac, event; // added, changed or removed
    QStringList fields; // changed: the fields named
};
struct WatchCheck
{
    int expected = 0; // changes the program must report
    int reported = 0; // of them, reported once in time
    int missed = 0;
    int invented = 0; // lines no change explains, or a second line for one
    // Each miss: what was expected, and the device's truth events and watch lines around it.
    QStringList missedDetails;
};
// What the watch lines should be. A device goes when it missed the replies to three requests, a
// second apart, at the fourth: an absence of 4.5 s or more is one "removed" within 7 s of the
// leave and, on its return, one "added" within 3 s; one under 1.8 s is nothing; in between either.
// A new device is one "added" within 3 s (the devices there at the start: within 10 s); a renumber
// or a change one "changed" naming the field (ipaddr for a renumber) within 3 s, unless within
// 3 s of the device's coming, when its "added" may already carry it, or under 1.5 s before it
// leaves, when it may not answer again. Changes too close to endMs to
// be seen are not expected, but may be reported.
WatchCheck checkWatch(const QVector<TruthEvent> &truth, const QVector<WatchEvent> &watch, qint64 endMs);

} // namespace bench
