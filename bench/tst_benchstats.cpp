// The figures the benchmark prints: percentiles, /proc counters, the simulator's MACs, request gaps,
// burst intake.

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

// Round i: its replies spread evenly from the first to the second ms after i s; its request at the
// third (none: unknown).
using Rounds = QVector<QVector<int>>;
double rate(const Rounds &rounds, bool sustained)
{
    RoundMeter meter;
    QHash<quint32, qint64> requests;
    const qint64 ms = 1000000;
    for (int i = 0; i < rounds.size(); ++i) {
        const QVector<int> &r = rounds[i];
        const qint64 first = (i * 1000 + r[1]) * ms, last = (i * 1000 + r[2]) * ms;
        for (int k = 0; k < r[0]; ++k)
            meter.add(quint32(i), r[0] > 1 ? first + (last - first) * k / (r[0] - 1) : first);
        if (r.size() > 3)
            requests.insert(quint32(i), (i * 1000 + r[3]) * ms);
    }
    return sustained ? meter.sustainedRate() : meter.medianIntakeRate(requests, 50);
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

    row("VmRSS in kB", 123 * 1024, [] { return vmRssBytes("Name:\tx\nVmPeak:\t 9 kB\nVmRSS:\t  123 kB\n"); });
    row("VmRSS missing", -1, [] { return vmRssBytes("Name:\tx\n"); });
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

    const Rounds cut{{11, 0, 1, 0}, {100, 0, 100, 0}, {11, 0, 1, 0}};
    row("intake: first and last round are cut by the window", 1000, [=] { return rate(cut, false); });
    row("sustained: first and last round are cut by the window", 100, [=] { return rate(cut, true); });
    const Rounds inner{{2, 0, 1, 0}, {100, 0, 100, 0}, {100, 0, 10, 0}, {100, 0, 50, 0}, {2, 0, 1, 0}};
    row("intake: median of the inner rounds", 2000, [=] { return rate(inner, false); });
    // Rounds 2 to 4: too few replies, an unknown request, a request after the first reply.
    const Rounds skipped{{2, 0, 1, 0},  {100, 0, 10, 0},  {49, 0, 100, 0},
                         {100, 0, 200}, {100, 0, 200, 5}, {2, 0, 1, 0}};
    row("intake: rounds without a sound rate are skipped", 10000, [=] { return rate(skipped, false); });
    row("sustained: every inner round counts", 87.25, [=] { return rate(skipped, true); });
    const Rounds instant{{2, 0, 0, 0}, {100, 0, 0, 0}, {2, 0, 0, 0}};
    row("intake: a burst quicker than a millisecond counts as one", 100000,
        [=] { return rate(instant, false); });
    const Rounds edges{{100, 0, 100, 0}, {100, 0, 100, 0}};
    row("intake: only edge rounds", 0, [=] { return rate(edges, false); });
    row("sustained: only edge rounds", 0, [=] { return rate(edges, true); });
}

void tst_BenchStats::figures()
{
    QFETCH(Figure, figure);
    QFETCH(double, expected);
    QCOMPARE(figure(), expected);
}

QTEST_APPLESS_MAIN(tst_BenchStats)
#include "tst_benchstats.moc"
