#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <vector>

// The arithmetic of the benchmark, kept free of sockets, clocks and processes so that it can
// be checked on its own.
namespace bench {

// Nearest-rank percentile (p from 0 to 100) of an unsorted sample; 0 for an empty one.
double percentile(std::vector<double> values, double p);

// "VmRSS:" of /proc/<pid>/status, in bytes; -1 when the text has no such line.
qint64 vmRssBytes(const QByteArray &statusText);

// The "Udp:" counters of /proc/net/snmp (a header line of names, then a line of values),
// by name; empty when the text has no such pair of lines.
QHash<QByteArray, qint64> udpCounters(const QByteArray &snmpText);

// Packets the kernel dropped because a CPU's input backlog was full: the sum of the second
// column (hexadecimal) of /proc/net/softnet_stat over all CPUs; -1 for text without lines.
qint64 softnetDropped(const QByteArray &softnetText);

// The simulator's device number behind a MAC it gives out ("02:00:00:00:00:01" is device 0);
// -1 for any other MAC.
int simulatedDeviceOfMac(const QString &mac);

// Replies grouped by the discovery round they were stamped with. A round's intake rate is its
// replies divided by the time from the request to the last of them: with all devices answering
// in the same instant that is how fast the receiver takes a burst in; with replies spread out
// it is bounded by the spread.
class RoundMeter
{
public:
    struct Round
    {
        quint32 round = 0;
        int count = 0;
        qint64 firstNs = 0;
        qint64 lastNs = 0;
    };

    void add(quint32 round, qint64 ns);
    void clear() { m_rounds.clear(); }
    // In order of each round's first reply.
    const QVector<Round> &rounds() const { return m_rounds; }
    // Median intake rate in replies per second over the rounds wholly inside the measurement
    // (all but the first and the last round seen) that have at least minCount replies and whose
    // request time is known (requestNs: round -> when its request went out). 0 without such a
    // round.
    double medianIntakeRate(const QHash<quint32, qint64> &requestNs, int minCount) const;
    // Replies per second over whole rounds: the replies of all but the first and the last
    // round, over the time from the first reply of the second round to the first reply of
    // the last. Unlike a count over a fixed window it does not depend on where the window
    // cuts the rounds. 0 with fewer than three rounds.
    double sustainedRate() const;

private:
    QVector<Round> m_rounds;
    QHash<quint32, int> m_index; // round -> position in m_rounds
};

// The longest time in [from, to] without a stamp (stamps in ascending order): from the last
// stamp at or before from (or from itself) through the stamps inside to to.
qint64 longestGap(const QVector<qint64> &stamps, qint64 from, qint64 to);

// "key=value key=value ..." (values without blanks) into a map; words without "=" are skipped.
QHash<QString, QString> parseFields(const QString &line);

} // namespace bench
