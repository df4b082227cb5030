// Replies whose fields hold HTML, control characters, right-to-left overrides and texts of
// tens of KB, and datagrams of the maximum size, at the whole program while three simulated
// devices keep answering. How such a device looks in the window: tst_hostile_details.

#include "floodchecks.h"
#include "floodgen.h"
#include "floodrig.h"
#include "simprocess.h"
#include "testnetwork.h"

#include <QTest>

class tst_FloodHostile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { LANSCOUT_REQUIRE_TEST_NETWORK(); }
    void hostileReplies();
};

void tst_FloodHostile::hostileReplies()
{
    // Some 40 rounds of the generator's cycle (about 20 MB).
    constexpr int Count = 520;
    constexpr int DurationMs = 4000;
    const QVector<DeviceRecord> hostile = flood::hostileDevices();
    const int expectedRows = 3 + hostile.size();

    SimProcess sim;
    QString error;
    QVERIFY2(sim.start({QStringLiteral("--devices"), QStringLiteral("3")}, &error), qPrintable(error));
    // Debug output on: the trace and the list dumps print these texts too.
    AppProcess app(true);
    QVERIFY2(app.start(&error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(app.rows(), 3, 5000);
    const qint64 startKib = app.rssKib();

    FloodProcess flood;
    const qint64 floodStart = app.now();
    QVERIFY2(flood.start(QStringLiteral("hostile"), Count, DurationMs, &error), qPrintable(error));
    const QString summary = flood.finish(DurationMs + 15000);
    qInfo("hostile replies: %s", qPrintable(summary));
    QVERIFY2(summary.startsWith(QLatin1String("sent ")), qPrintable(summary));
    // The last replies are in the list, and one more dump shows them.
    QTRY_COMPARE_WITH_TIMEOUT(app.rows(), expectedRows, 3000);
    QTest::qWait(300);
    const QStringList listed = app.lastDumpMacs();
    const qint64 peakKib = app.peakRssKibSince(floodStart);
    qInfo("hostile replies: the longest line of the trace has %lld bytes", app.longestLine());
    qInfo("hostile replies: listed %d rows; last dump: %s", app.rows(),
          qPrintable(listed.join(QLatin1Char(' '))));

    QVERIFY2(app.running(), app.tail().constData());
    // The maximum-size datagrams were read whole: their trace lines are as long.
    QVERIFY2(app.longestLine() >= flood::MaxDatagram - 2, qPrintable(QString::number(app.longestLine())));
    for (const QString &mac : simulatedMacs())
        QVERIFY2(listed.contains(mac), qPrintable(mac));
    for (const DeviceRecord &d : hostile)
        QVERIFY2(listed.contains(d.mac), qPrintable(d.mac));

    // What such a reply can do is what any reply does: an entry that ages out.
    QTRY_COMPARE_WITH_TIMEOUT(app.rows(), 3, 7000);
    const LagFigures lag = lagFigures(app.probesSince(floodStart));
    printLag("hostile replies", lag);
    printMemory("hostile replies", startKib, peakKib, app.rssKib());
    QCOMPARE(lag.minRows, 3);
    QVERIFY2(lag.maxMs <= 250, qPrintable(QString::number(lag.maxMs)));
    QVERIFY2(!CheckMemory || peakKib - startKib <= 64 * 1024,
             qPrintable(QString::number(peakKib - startKib)));

    QVERIFY(app.terminateAndWait(5000) >= 0);
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_FloodHostile)
#include "tst_flood_hostile.moc"
