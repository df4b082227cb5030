// The figures the benchmark prints: percentiles, /proc counters, the simulator's MACs, request gaps,
// burst intake and sustained rates.

#include "benchstats.h"

#include <QTest>

#include <functional>

using namespace bench;
using Figure = std::function<double()>;
Q_DECLARE_METATYPE(Figure)

class tst_BenchStats : public QObject
{
    Q_OBJECT

private slots:
    void figures_data();
    void figures();
};

namespace {

// Rounds 1..n: round i's request at i s, its replies from the first to the second ms after it.
struct Plan
{
    int replies, firstMs, lastMs;
};
double rate(const QVector<Plan> &plan, bool sustained, qint64 fromS = 0, qint64 toS = 100)
{
    Rounds rounds;
    QHash<quint32, qint64> requests;
    const qint64 s = 1000000000, ms = 1000000;
    for (int i = 0; i < plan.size(); ++i) {
        const quint32 round = quint32(i + 1);
        requests.insert(round, round * s);
        if (plan[i].replies)
            rounds.insert(
                round, {plan[i].replies, round * s + plan[i].firstMs * ms, round * s + plan[i].lastMs * ms});
    }
    return sustained ? sustainedRate(rounds, requests, fromS * s, toS * s)
                     : percentile(intakeRates(rounds, requests, fromS * s, toS * s, 50), 50);
}

// checkWatch's counts as one number, a digit each: expected, reported, missed, invented.
double watchCounts(const QVector<TruthEvent> &truth, const QVector<WatchEvent> &watch)
{
    const WatchCheck c = checkWatch(truth, watch, 60000);
    return c.expected * 1000 + c.reported * 100 + c.missed * 10 + c.invented;
}

} // namespace

void tst_BenchStats::figures_data()
{
    QTest::addColumn<Figure>("figure");
    QTest::addColumn<double>("expected");
    const auto row = [](const char *name, double expected, const Figure &f) {
        QTest::newRow(name) << f << expected;
    };

    std::vector<double> hundred; // 100 down to 1
    for (int i = 100; i >= 1; --i)
        hundred.push_back(i);
    row("percentile of nothing", 0, [] { return percentile({}, 50); });
    row("median of an unsorted even sample is the lower middle", 2, [] {
        return percentile({4, 1, 3, 2}, 50);
    });
    row("p60 of four values: the rank rounds up", 3, [] { return percentile({4, 1, 3, 2}, 60); });
    row("p99 of 1..100", 99, [=] { return percentile(hundred, 99); });
    row("p100 is the maximum", 100, [=] { return percentile(hundred, 100); });
    row("p0 is the minimum", 1, [=] { return percentile(hundred, 0); });

    const QByteArray snmp(
        "Udp: InDatagrams NoPorts InErrors OutDatagrams RcvbufErrors\nUdp: 150000 2 17 15 16\n"
        "UdpLite: InDatagrams NoPorts InErrors\nUdpLite: 0 0 9\n");
    row("Udp InErrors, not UdpLite's", 17, [=] { return udpCounters(snmp).value("InErrors"); });
    row("Udp RcvbufErrors", 16, [=] { return udpCounters(snmp).value("RcvbufErrors"); });
    row("softnet drops summed over CPUs, hexadecimal", 26,
        [] { return softnetDropped("0001e240 0000000a 0 0\n0000ffff 00000010 0 0\n"); });
    row("softnet without lines", -1, [] { return softnetDropped({}); });

    const auto device = [](const char *mac) { return simulatedDeviceOfMac(QString::fromLatin1(mac)); };
    row("first simulated device", 0, [=] { return device("02:00:00:00:00:01"); });
    row("simulated device past 65,536", 99999, [=] { return device("02:00:00:01:86:A0"); });
    row("not the simulator's prefix", -1, [=] { return device("00:00:00:00:00:01"); });
    row("MAC zero is no device", -1, [=] { return device("02:00:00:00:00:00"); });

    const auto gap = [](const QVector<qint64> &stamps) { return longestGap(stamps, 1000, 6000); };
    row("gap: the last stamp before the window counts", 2600, [=] { return gap({900, 1900, 4500, 5500}); });
    row("gap: nothing after the start", 5100, [=] { return gap({900}); });
    row("gap: no stamps at all", 5000, [=] { return gap({}); });
    row("gap: stamps after the end don't count", 3500, [=] { return gap({1500, 5000, 9000}); });

    // Requests at 1 s, 2 s, ...; rounds taken in at 1,000, 10,000, 2,000 and 5,000 replies/s.
    const QVector<Plan> four{{100, 0, 100}, {100, 0, 10}, {100, 0, 50}, {100, 0, 20}};
    row("intake: median of the rounds requested in the window", 5000,
        [=] { return rate(four, false, 2, 4); });
    row("intake: rounds requested outside the window are left out", 2000,
        [=] { return rate(four, false, 2, 3); });
    row("sustained: whole rounds only, from the first request to the one after the last", 100,
        [=] { return rate(four, true, 2, 4); });
    row("sustained: no whole round", 0, [=] { return rate(four, true, 4, 4); });
    const QVector<Plan> thin{{49, 0, 100}, {0, 0, 0}, {100, 0, 0}};
    row("intake: too few replies, no replies; a burst under a millisecond counts as one", 100000,
        [=] { return rate(thin, false); });

    const QString a = QStringLiteral("A");
    const auto changed = [a](qint64 ms, const char *field) {
        return WatchEvent{ms, a, QStringLiteral("changed"), {QLatin1String(field)}};
    };
    row("watch: 10 s away, removed and added once each", 2200, [=] {
        return watchCounts(
            {{TruthEvent::Leave, 1000, a, {}}, {TruthEvent::Back, 11000, a, {}}},
            {{5000, a, QStringLiteral("removed"), {}}, {12000, a, QStringLiteral("added"), {}}});
    });
    row("watch: 1 s away, a removal is invented", 1, [=] {
        return watchCounts({{TruthEvent::Leave, 1000, a, {}}, {TruthEvent::Back, 2000, a, {}}},
                           {{4500, a, QStringLiteral("removed"), {}}});
    });
    row("watch: a renumber told twice", 1101, [=] {
        return watchCounts({{TruthEvent::Renumber, 1000, a, {}}},
                           {changed(1500, "ipaddr"), changed(2500, "ipaddr")});
    });
    row("watch: the wrong field changed", 1011, [=] {
        return watchCounts({{TruthEvent::Change, 1000, a, QStringLiteral("gateway")}},
                           {changed(1500, "extra")});
    });
    row("watch: there for half a second, its coming and going need not be told", 0, [=] {
        return watchCounts({{TruthEvent::Appear, 1000, a, {}}, {TruthEvent::Leave, 1500, a, {}}}, {});
    });
    row("watch: a change 0.4 s before leaving need not be told", 1100, [=] {
        return watchCounts(
            {{TruthEvent::Change, 1000, a, QStringLiteral("extra")}, {TruthEvent::Leave, 1400, a, {}}},
            {{5000, a, QStringLiteral("removed"), {}}});
    });
    row("watch: a change just after appearing may be in its added line", 1100, [=] {
        return watchCounts(
            {{TruthEvent::Appear, 1000, a, {}}, {TruthEvent::Change, 2000, a, QStringLiteral("extra")}},
            {{2500, a, QStringLiteral("added"), {}}});
    });
}

void tst_BenchStats::figures()
{
    QFETCH(Figure, figure);
    QFETCH(double, expected);
    QCOMPARE(figure(), expected);
}

QTEST_APPLESS_MAIN(tst_BenchStats)
#include "tst_benchstats.moc"
