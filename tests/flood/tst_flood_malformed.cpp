// 200,000 datagrams that are no discovery reply, in about ten seconds, at the whole program
// while three simulated devices keep answering.

#include "floodchecks.h"
#include "floodrig.h"
#include "simprocess.h"
#include "testnetwork.h"

#include <QTest>

class tst_FloodMalformed : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { LANSCOUT_REQUIRE_TEST_NETWORK(); }
    void malformedFlood();
};

void tst_FloodMalformed::malformedFlood()
{
    constexpr int Count = 200000;
    constexpr int DurationMs = 10000;

    SimProcess sim;
    QString error;
    QVERIFY2(sim.start({QStringLiteral("--devices"), QStringLiteral("3")}, &error), qPrintable(error));
    // The default debug output stays on: every datagram is traced, as in the field.
    AppProcess app(true);
    QVERIFY2(app.start(&error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(app.rows(), 3, 5000);
    const qint64 dropsBefore = udpDrops(8888);
    const qint64 rxBefore = app.rxLines();
    const qint64 startKib = app.rssKib();

    FloodProcess flood;
    const qint64 floodStart = app.now();
    QVERIFY2(flood.start(QStringLiteral("malformed"), Count, DurationMs, &error), qPrintable(error));
    const QString summary = flood.finish(DurationMs + 15000);
    const qint64 floodEnd = app.now();
    QVERIFY2(summary.startsWith(QLatin1String("sent ")), qPrintable(summary));
    // Two more probe seconds, and the trace of what was still queued.
    QTest::qWait(2000);
    QVERIFY2(app.running(), app.tail().constData());
    const qint64 endKib = app.rssKib();
    const qint64 peakKib = app.peakRssKibSince(floodStart);
    const QStringList listed = app.lastDumpMacs();
    const qint64 read = app.rxLines() - rxBefore;
    const qint64 drops = udpDrops(8888) - dropsBefore;
    const LagFigures lag = lagFigures(app.probesSince(floodStart));

    qInfo("malformed flood: %s (to 198.18.0.1, 198.18.0.255 and 255.255.255.255 port 8888) in %lld ms",
          qPrintable(summary), floodEnd - floodStart);
    qInfo("malformed flood: the program traced %lld datagrams read; the kernel dropped %lld", read, drops);
    printLag("malformed flood", lag);
    printMemory("malformed flood", startKib, peakKib, endKib);
    qInfo("malformed flood: last device list dump: %s", qPrintable(listed.join(QLatin1Char(' '))));

    // The flood reached the program: it read most of it (what the kernel dropped is counted).
    QVERIFY2(read >= Count / 2, qPrintable(QStringLiteral("only %1 datagrams read").arg(read)));
    // No real device dropped out, and nothing of the flood became a device.
    QCOMPARE(lag.minRows, 3);
    QCOMPARE(lag.maxRows, 3);
    for (const QString &mac : simulatedMacs())
        QVERIFY2(listed.contains(mac), qPrintable(listed.join(QLatin1Char(' '))));
    // The window kept answering: a probe line every second and no long stall.
    QVERIFY2(lag.seconds >= int(floodEnd - floodStart) / 1000 - 2, qPrintable(QString::number(lag.seconds)));
    QVERIFY2(lag.maxMs <= 250, qPrintable(QString::number(lag.maxMs)));
    // Memory stays flat: what is read is dropped, nothing piles up.
    QVERIFY2(!CheckMemory || peakKib - startKib <= 32 * 1024,
             qPrintable(QString::number(peakKib - startKib)));

    QVERIFY(app.terminateAndWait(5000) >= 0);
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_FloodMalformed)
#include "tst_flood_malformed.moc"
