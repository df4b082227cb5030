// SIGTERM closes the main window as its close button would: under a flood the program must
// still end within a second, with exit code 0.

#include "floodchecks.h"
#include "floodrig.h"
#include "simprocess.h"
#include "testnetwork.h"

#include <QTest>

class tst_FloodShutdown : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { LANSCOUT_REQUIRE_TEST_NETWORK(); }
    void terminateUnderLoad_data();
    void terminateUnderLoad();
};

void tst_FloodShutdown::terminateUnderLoad_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("durationMs");
    QTest::addColumn<bool>("debugOutput");
    QTest::addColumn<int>("signalAfterMs"); // from the start of the flood

    QTest::newRow("malformed flood, debug output on") << "malformed" << 100000 << 5000 << true << 2000;
    QTest::newRow("new devices flood, debug output off") << "devices" << 100000 << 2500 << false << 1500;
    // Every accepted reply dumps the whole list to the debug output.
    QTest::newRow("new devices flood, debug output on") << "devices" << 100000 << 2500 << true << 1500;
    // Tens of thousands of rows leave the table at once, from 4 s on.
    QTest::newRow("forged devices ageing out, debug output off")
        << "devices" << 60000 << 1500 << false << 5000;
}

void tst_FloodShutdown::terminateUnderLoad()
{
    QFETCH(QString, kind);
    QFETCH(int, count);
    QFETCH(int, durationMs);
    QFETCH(bool, debugOutput);
    QFETCH(int, signalAfterMs);

    SimProcess sim;
    QString error;
    QVERIFY2(sim.start({QStringLiteral("--devices"), QStringLiteral("3")}, &error), qPrintable(error));
    AppProcess app(debugOutput);
    QVERIFY2(app.start(&error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(app.rows(), 3, 5000);

    FloodProcess flood;
    const qint64 floodStart = app.now();
    QVERIFY2(flood.start(kind, count, durationMs, &error), qPrintable(error));
    QTest::qWait(signalAfterMs);
    QVERIFY2(app.running(), app.tail().constData());
    const int rowsAtSignal = app.rows();
    const qint64 signalAt = app.now() - floodStart;

    const qint64 ms = app.terminateAndWait(10000);
    qInfo("%s: SIGTERM %lld ms into the flood (%d rows listed): %s", QTest::currentDataTag(), signalAt,
          rowsAtSignal,
          ms < 0 ? "still running after 10 s"
                 : qPrintable(QStringLiteral("ended after %1 ms, exit code %2").arg(ms).arg(app.exitCode())));
    QVERIFY2(ms >= 0, "the program did not end within 10 s");
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    QVERIFY2(ms <= 1000, qPrintable(QStringLiteral("%1 ms").arg(ms)));
}

QTEST_GUILESS_MAIN(tst_FloodShutdown)
#include "tst_flood_shutdown.moc"
