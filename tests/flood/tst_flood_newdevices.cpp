// 100,000 well-formed replies, each from a device of its own, at the whole program while three
// simulated devices keep answering: the list grows, then ages back to the real devices. Twice,
// so that memory held after the first round shows as reused, not leaked.

#include "floodchecks.h"
#include "floodrig.h"
#include "simprocess.h"
#include "testnetwork.h"

#include <QTest>

class tst_FloodNewDevices : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { LANSCOUT_REQUIRE_TEST_NETWORK(); }
    void newDevicesFlood();
    void newDevicesWithTraceOn();
};

void tst_FloodNewDevices::newDevicesFlood()
{
    constexpr int Count = 100000;
    constexpr int DurationMs = 2500;
    // Four discovery periods unanswered, plus one for the period under way and one for the
    // window to catch up.
    constexpr int AgeOutMs = 6000;

    SimProcess sim;
    QString error;
    QVERIFY2(sim.start({QStringLiteral("--devices"), QStringLiteral("3")}, &error), qPrintable(error));
    // With the default debug output every reply dumps the whole list: a flood of new devices
    // would measure only that (tst_flood_shutdown has it). Here the trace is off.
    AppProcess app(false);
    QVERIFY2(app.start(&error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(app.rows(), 3, 5000);
    const qint64 startKib = app.rssKib();

    qint64 peakKib[2] = {};
    int maxRows[2] = {};
    for (int round = 0; round < 2; ++round) {
        const qint64 dropsBefore = udpDrops(8888);
        FloodProcess flood;
        const qint64 floodStart = app.now();
        // Every round has devices of its own.
        QVERIFY2(flood.start(QStringLiteral("devices"), Count, DurationMs, &error,
                             {QStringLiteral("--to"), QStringLiteral("198.18.0.1"), QStringLiteral("--first"),
                              QString::number(round * Count)}),
                 qPrintable(error));
        const QString summary = flood.finish(DurationMs + 15000);
        const qint64 floodEnd = app.now();
        QVERIFY2(summary.startsWith(QLatin1String("sent ")), qPrintable(summary));
        qInfo("new devices, round %d: %s to 198.18.0.1 port 8888", round + 1, qPrintable(summary));

        // Waits longer than allowed, so that the figures show how long it did take.
        const bool back = QTest::qWaitFor([&] { return app.rows() == 3 && app.probes.last().ms > floodEnd; },
                                          2 * AgeOutMs + 6000);
        const qint64 backMs = back ? app.probes.last().ms - floodEnd : -1;
        QTest::qWait(1000); // what is freed is freed by now
        const LagFigures lag = lagFigures(app.probesSince(floodStart));
        peakKib[round] = app.peakRssKibSince(floodStart);
        maxRows[round] = lag.maxRows;
        const qint64 endKib = app.rssKib();
        qInfo("new devices, round %d: at most %d rows listed; back to the 3 real devices %lld ms after the "
              "flood ended; the kernel dropped %lld datagrams",
              round + 1, lag.maxRows, backMs, udpDrops(8888) - dropsBefore);
        const QByteArray what = "new devices, round " + QByteArray::number(round + 1);
        printLag(what.constData(), lag);
        printMemory(what.constData(), startKib, peakKib[round], endKib);

        QVERIFY2(app.running(), app.tail().constData());
        // Most of the flood was listed: it did reach the program.
        QVERIFY2(lag.maxRows >= Count / 2, qPrintable(QString::number(lag.maxRows)));
        // The real devices never dropped out.
        QVERIFY2(lag.minRows >= 3, qPrintable(QString::number(lag.minRows)));
        QVERIFY2(back && backMs <= AgeOutMs, qPrintable(QStringLiteral("%1 ms").arg(backMs)));
    }
    // The second round reuses what the first one freed: its peak is what its own rows need
    // (at the first round's cost per row) or the first round's peak, whichever is more, not
    // the two added up. (The heap holds on to freed memory, so the resident size need not fall
    // back to the start.)
    const double kibPerRow = double(peakKib[0] - startKib) / maxRows[0];
    const qint64 reused = qMax(peakKib[0], startKib + qint64(kibPerRow * maxRows[1]));
    qInfo("new devices: %.2f KiB per listed device; round 2 peaked at %lld KiB, with reuse about %lld KiB",
          kibPerRow, peakKib[1], reused);
    QVERIFY2(!CheckMemory || peakKib[1] <= reused + reused / 8,
             qPrintable(QStringLiteral("%1 KiB then %2 KiB").arg(peakKib[0]).arg(peakKib[1])));

    QVERIFY(app.terminateAndWait(5000) >= 0);
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

// The same kind of flood, smaller, with the default debug output: the trace of each reply and
// the list dumps must not make the program deaf. Each reply dumping the whole list would cost
// the flood's length times the list's.
void tst_FloodNewDevices::newDevicesWithTraceOn()
{
    constexpr int Count = 20000;
    constexpr int DurationMs = 2000;
    constexpr int CatchUpMs = 5000;

    SimProcess sim;
    QString error;
    QVERIFY2(sim.start({QStringLiteral("--devices"), QStringLiteral("3")}, &error), qPrintable(error));
    AppProcess app(true);
    QVERIFY2(app.start(&error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(app.rows(), 3, 5000);

    FloodProcess flood;
    const qint64 floodStart = app.now();
    QVERIFY2(flood.start(QStringLiteral("devices"), Count, DurationMs, &error,
                         {QStringLiteral("--to"), QStringLiteral("198.18.0.1"), QStringLiteral("--first"),
                          QStringLiteral("1000000")}),
             qPrintable(error));
    const QString summary = flood.finish(DurationMs + 15000);
    const qint64 floodEnd = app.now();
    QVERIFY2(summary.startsWith(QLatin1String("sent ")), qPrintable(summary));
    const bool caughtUp = QTest::qWaitFor([&] { return app.rows() >= Count * 9 / 10; }, CatchUpMs);
    const qint64 caughtUpMs = app.now() - floodEnd;
    const LagFigures lag = lagFigures(app.probesSince(floodStart));
    const QStringList listed = app.lastDumpMacs();
    qInfo("new devices, debug output on: %s to 198.18.0.1 port 8888", qPrintable(summary));
    qInfo("new devices, debug output on: %d rows listed %lld ms after the flood ended; %lld MB of trace",
          app.rows(), caughtUpMs, app.traceBytes() / 1000000);
    printLag("new devices, debug output on", lag);

    QVERIFY2(app.running(), app.tail().constData());
    QVERIFY2(caughtUp, qPrintable(QStringLiteral("%1 of %2 listed").arg(app.rows()).arg(Count)));
    QVERIFY2(lag.minRows >= 3, qPrintable(QString::number(lag.minRows)));
    for (const QString &mac : simulatedMacs())
        QVERIFY2(listed.contains(mac), qPrintable(mac));
    QVERIFY(app.terminateAndWait(5000) >= 0);
    QCOMPARE(app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_FloodNewDevices)
#include "tst_flood_newdevices.moc"
