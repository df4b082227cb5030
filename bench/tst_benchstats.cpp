// The benchmark's arithmetic: percentiles, /proc parsing, the simulator's MACs, request gaps, burst
// intake.

#include "benchstats.h"

#include <QTest>

using namespace bench;

class tst_BenchStats : public QObject
{
    Q_OBJECT

private slots:
    void percentileByNearestRank_data();
    void percentileByNearestRank();
    void procTexts_data();
    void procTexts();
    void simulatedDeviceOfMac_data();
    void simulatedDeviceOfMac();
    void longestGap_data();
    void longestGap();
    void intakeRateSkipsEdgeAndSmallRounds_data();
    void intakeRateSkipsEdgeAndSmallRounds();
};

void tst_BenchStats::percentileByNearestRank_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("p");
    QTest::addColumn<double>("expected");
    QTest::newRow("empty") << QVector<double>{} << 50.0 << 0.0;
    QTest::newRow("one value, any percentile") << QVector<double>{7} << 99.0 << 7.0;
    QTest::newRow("median of unsorted odd") << QVector<double>{5, 1, 3} << 50.0 << 3.0;
    QTest::newRow("median of even is the lower middle") << QVector<double>{4, 1, 3, 2} << 50.0 << 2.0;
    QVector<double> hundred;
    for (int i = 100; i >= 1; --i)
        hundred << i;
    QTest::newRow("p99 of 1..100") << hundred << 99.0 << 99.0;
    QTest::newRow("p100 is the maximum") << hundred << 100.0 << 100.0;
    QTest::newRow("p0 is the minimum") << hundred << 0.0 << 1.0;
    QTest::newRow("one outlier in 100 hides behind p99")
        << (QVector<double>(99, 1.0) << 500.0) << 99.0 << 1.0;
}

void tst_BenchStats::percentileByNearestRank()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, p);
    QFETCH(double, expected);
    QCOMPARE(percentile(std::vector<double>(values.begin(), values.end()), p), expected);
}

void tst_BenchStats::procTexts_data()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("VmRSS in kB") << QByteArray("rss")
                                 << QByteArray("Name:\tx\nVmPeak:\t 9 kB\nVmRSS:\t  123 kB\n")
                                 << qint64(123 * 1024);
    QTest::newRow("VmRSS missing") << QByteArray("rss") << QByteArray("Name:\tx\n") << qint64(-1);
    QTest::newRow("VmRSS not a number") << QByteArray("rss") << QByteArray("VmRSS:\tlots kB\n") << qint64(-1);
    const QByteArray snmp("Ip: Forwarding DefaultTTL\nIp: 1 64\n"
                          "Udp: InDatagrams NoPorts InErrors OutDatagrams RcvbufErrors\n"
                          "Udp: 150000 2 17 15 16\n"
                          "UdpLite: InDatagrams NoPorts InErrors\nUdpLite: 0 0 9\n");
    QTest::newRow("Udp InErrors, not UdpLite's") << QByteArray("udp:InErrors") << snmp << qint64(17);
    QTest::newRow("Udp RcvbufErrors") << QByteArray("udp:RcvbufErrors") << snmp << qint64(16);
    QTest::newRow("no Udp lines") << QByteArray("udp:InErrors") << QByteArray("Ip: a\nIp: 1\n") << qint64(0);
    QTest::newRow("softnet drops summed over CPUs, hexadecimal")
        << QByteArray("softnet")
        << QByteArray("0001e240 0000000a 00000000 00000000\n0000ffff 00000010 00000000 00000000\n")
        << qint64(26);
    QTest::newRow("softnet empty") << QByteArray("softnet") << QByteArray() << qint64(-1);
}

void tst_BenchStats::procTexts()
{
    QFETCH(QByteArray, kind);
    QFETCH(QByteArray, text);
    QFETCH(qint64, expected);
    if (kind == "rss")
        QCOMPARE(vmRssBytes(text), expected);
    else if (kind == "softnet")
        QCOMPARE(softnetDropped(text), expected);
    else
        QCOMPARE(udpCounters(text).value(kind.mid(4)), expected);
}

void tst_BenchStats::simulatedDeviceOfMac_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<int>("device");
    QTest::newRow("first device") << "02:00:00:00:00:01" << 0;
    QTest::newRow("10,000th device") << "02:00:00:00:27:10" << 9999;
    QTest::newRow("past 65,536") << "02:00:00:01:86:A0" << 99999;
    QTest::newRow("not the simulator's prefix") << "00:00:00:00:00:01" << -1;
    QTest::newRow("zero is no device") << "02:00:00:00:00:00" << -1;
    QTest::newRow("too short") << "02:00:00:00:01" << -1;
    QTest::newRow("not hexadecimal") << "02:00:00:00:00:0G" << -1;
}

void tst_BenchStats::simulatedDeviceOfMac()
{
    QFETCH(QString, mac);
    QFETCH(int, device);
    QCOMPARE(bench::simulatedDeviceOfMac(mac), device);
}

void tst_BenchStats::longestGap_data()
{
    QTest::addColumn<QVector<qint64>>("stamps");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("steady pace, the last stamp before the window counts")
        << QVector<qint64>{900, 1900, 2900, 3900} << qint64(1000) << qint64(4000) << qint64(1000);
    QTest::newRow("a late request inside")
        << QVector<qint64>{900, 1900, 4500, 5500} << qint64(1000) << qint64(6000) << qint64(2600);
    QTest::newRow("nothing after the start")
        << QVector<qint64>{900} << qint64(1000) << qint64(6000) << qint64(5100);
    QTest::newRow("no stamps at all") << QVector<qint64>{} << qint64(1000) << qint64(3000) << qint64(2000);
    QTest::newRow("stamps after the end don't count")
        << QVector<qint64>{1500, 9000} << qint64(1000) << qint64(2000) << qint64(500);
}

void tst_BenchStats::longestGap()
{
    QFETCH(QVector<qint64>, stamps);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(qint64, expected);
    QCOMPARE(bench::longestGap(stamps, from, to), expected);
}

void tst_BenchStats::intakeRateSkipsEdgeAndSmallRounds_data()
{
    // Each round: round, replies, first ms, last ms, ms of its request (-1: unknown); the
    // replies are added evenly from first to last.
    QTest::addColumn<QVector<QVector<int>>>("rounds");
    QTest::addColumn<int>("minCount");
    QTest::addColumn<double>("intake");
    QTest::addColumn<double>("sustained");
    QTest::newRow("first and last round are cut by the window")
        << QVector<QVector<int>>{{1, 11, 0, 1, 0}, {2, 100, 1000, 1100, 1000}, {3, 11, 2000, 2001, 2000}}
        << 50 << 1000.0 << 100.0;
    QTest::newRow("median of the inner rounds") << QVector<QVector<int>>{{1, 2, 0, 1, 0},
                                                                         {2, 100, 1000, 1100, 1000},
                                                                         {3, 100, 2000, 2010, 2000},
                                                                         {4, 100, 3000, 3050, 3000},
                                                                         {5, 2, 4000, 4001, 4000}}
                                                << 50 << 2000.0 << 100.0;
    QTest::newRow("a round with too few replies is skipped")
        << QVector<QVector<int>>{{1, 2, 0, 1, 0},
                                 {2, 100, 1000, 1100, 1000},
                                 {3, 5, 2000, 2001, 2000},
                                 {4, 2, 3000, 3001, 3000}}
        << 50 << 1000.0 << 52.5;
    QTest::newRow("a round whose request is unknown or later is skipped")
        << QVector<QVector<int>>{{1, 2, 0, 1, 0},
                                 {2, 100, 1000, 1010, -1},
                                 {3, 100, 2000, 2010, 2005},
                                 {4, 100, 3000, 3200, 3000},
                                 {5, 2, 4000, 4001, 4000}}
        << 50 << 500.0 << 100.0;
    QTest::newRow("a burst quicker than a millisecond counts as one")
        << QVector<QVector<int>>{{1, 2, 0, 0, 0}, {2, 100, 1000, 1000, 1000}, {3, 2, 2000, 2000, 2000}} << 50
        << 100000.0 << 100.0;
    QTest::newRow("only edge rounds")
        << QVector<QVector<int>>{{1, 100, 0, 100, 0}, {2, 100, 1000, 1100, 1000}} << 50 << 0.0 << 0.0;
}

void tst_BenchStats::intakeRateSkipsEdgeAndSmallRounds()
{
    QFETCH(QVector<QVector<int>>, rounds);
    QFETCH(int, minCount);
    QFETCH(double, intake);
    QFETCH(double, sustained);
    RoundMeter meter;
    QHash<quint32, qint64> requests;
    for (const QVector<int> &r : rounds) {
        const qint64 first = qint64(r[2]) * 1000000, last = qint64(r[3]) * 1000000;
        for (int i = 0; i < r[1]; ++i)
            meter.add(quint32(r[0]), r[1] > 1 ? first + (last - first) * i / (r[1] - 1) : first);
        if (r[4] >= 0)
            requests.insert(quint32(r[0]), qint64(r[4]) * 1000000);
    }
    QCOMPARE(meter.medianIntakeRate(requests, minCount), intake);
    QCOMPARE(meter.sustainedRate(), sustained);
}

QTEST_APPLESS_MAIN(tst_BenchStats)
#include "tst_benchstats.moc"
