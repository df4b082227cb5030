// Whole programs in the test bed: lanScout against one simulated device, its debug trace
// line for line; and the simulator's own guard against the machine's network.

#include "simprocess.h"
#include "testnetwork.h"

#include <QProcess>
#include <QTest>

class tst_E2eApp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void programTracesDiscoveryAndDeviceList();
    void simulatorRefusesTheNetworkOfProcessOne();
};

void tst_E2eApp::initTestCase()
{
    LANSCOUT_REQUIRE_TEST_NETWORK();
}

void tst_E2eApp::programTracesDiscoveryAndDeviceList()
{
    SimProcess sim;
    QString error;
    QVERIFY2(sim.start({QStringLiteral("--devices"), QStringLiteral("1")}, &error), qPrintable(error));

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The trace as the toolkit prints it by default.
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    app.setProcessEnvironment(env);
    QByteArray trace;
    connect(&app, &QProcess::readyReadStandardError, this, [&] { trace += app.readAllStandardError(); });
    app.start(QStringLiteral(LANSCOUT_APP_PATH), QStringList());
    QVERIFY2(app.waitForStarted(5000), qPrintable(app.errorString()));

    const QByteArray reply("lanScout.udp: rx:  qxsrhip/V1.1/static/198.18.0.10/255.255.255.0/198.18.0.1/"
                           "02:00:00:00:00:01/198.18.0.1/198.18.0.2/devsim-1");
    auto lines = [&trace] { return trace.split('\n'); };
    // Two replies: the device has been listed and then refreshed.
    QTRY_VERIFY_WITH_TIMEOUT(lines().count(reply) >= 2, 5000);
    QCOMPARE(app.state(), QProcess::Running);
    // SIGTERM closes the window, and so ends the program the way its close button does.
    app.terminate();
    const bool ended = app.waitForFinished(5000);
    if (!ended)
        app.kill();
    app.waitForFinished(5000);
    trace += app.readAllStandardError();
    QVERIFY2(ended, "the program did not end on SIGTERM");
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    QVERIFY2(!trace.contains("QThread: Destroyed while thread is still running"), trace.constData());

    const QList<QByteArray> all = lines();
    const QByteArray tx("lanScout.udp: tx:  \"@qxsrhip/all!\"");
    const int firstTx = all.indexOf(tx);
    QVERIFY2(firstTx >= 0, trace.constData());
    const int firstDump = all.indexOf("printIpList------------------------------------------------");
    QVERIFY2(firstDump > firstTx, trace.constData());
    // The reply is merged and the list dumped before the reply's own trace line.
    const QList<QByteArray> first{
        "printIpList------------------------------------------------",
        "ip  0 ++++++++++++++++++++++++++",
        "version:  \"V1.1\"",
        "ipways:  \"static\"",
        "ipaddr:  \"198.18.0.10\"",
        "mask:  \"255.255.255.0\"",
        "gateway:  \"198.18.0.1\"",
        "mac:  \"02:00:00:00:00:01\"",
        "cnt:  1",
        reply,
    };
    QCOMPARE(all.mid(firstDump, first.size()), first);

    // The next request, then the refreshed entry stamped with the new count.
    const int secondTx = all.indexOf(tx, firstDump);
    QVERIFY2(secondTx > firstDump, trace.constData());
    const int secondDump = all.indexOf(first[0], secondTx);
    QVERIFY2(secondDump > secondTx, trace.constData());
    QList<QByteArray> second = first;
    second[8] = "cnt:  2";
    QCOMPARE(all.mid(secondDump, second.size()), second);
}

void tst_E2eApp::simulatorRefusesTheNetworkOfProcessOne()
{
    // Process 1 of a fresh PID namespace is the simulator itself, in this (the host side's)
    // network namespace: to the simulator that looks like the machine's own network.
    QProcess sim;
    sim.start(QStringLiteral("unshare"),
              {QStringLiteral("--pid"), QStringLiteral("--fork"), QStringLiteral("--mount-proc"),
               devsimPath(), QStringLiteral("--lifetime"), QStringLiteral("5")});
    QVERIFY2(sim.waitForFinished(5000), qPrintable(sim.errorString()));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 3);
    QVERIFY(sim.readAllStandardOutput().isEmpty()); // never got "ready"
    QVERIFY(
        sim.readAllStandardError().contains("refusing to run: this is the machine's own network namespace"));
}

QTEST_MAIN(tst_E2eApp)
#include "tst_e2e_app.moc"
