// The whole settings flow as a user meets it: a device listed by the running engine is
// selected, the network settings dialog changes its address, and the simulated device,
// having received the command on the next tick, shows up under its new address.

#include "enginerig.h"
#include "mainwindow.h"
#include "modaldriver.h"
#include "protocol.h"
#include "simprocess.h"
#include "testnetwork.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

class tst_E2eDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void staticAddressThroughTheDialog();
};

void tst_E2eDialog::initTestCase()
{
    LANSCOUT_REQUIRE_TEST_NETWORK();
}

void tst_E2eDialog::staticAddressThroughTheDialog()
{
    SimProcess sim;
    QString error;
    QVERIFY2(sim.start({QStringLiteral("--devices"), QStringLiteral("2")}, &error), qPrintable(error));
    Engine engine;
    mainWindow window(*engine.list, engine.model);
    window.show();
    engine.start();
    QTRY_COMPARE_WITH_TIMEOUT(engine.model.rowCount(), 2, 5000);

    const int row = engine.rowOf(QStringLiteral("02:00:00:00:00:01"));
    const int other = 1 - row;
    QVERIFY(row >= 0);
    const DeviceRecord before = engine.device(row);
    const DeviceRecord otherBefore = engine.device(other);
    auto *table = window.findChild<QTableView *>(QStringLiteral("tvwIplist"));
    table->setCurrentIndex(engine.model.index(row, 0));

    // The user picks static addressing, types a new address and confirms.
    ModalDriver driver({[](QWidget *modal) {
        if (!modal->inherits("IpSet"))
            return false;
        modal->findChild<QRadioButton *>(QStringLiteral("rbtnStaticIp"))->click();
        const QStringList octets = {QStringLiteral("198"), QStringLiteral("18"), QStringLiteral("0"),
                                    QStringLiteral("77")};
        QWidget *ipEditor = modal->findChild<QWidget *>(QStringLiteral("gboxStaticIPSet"))
                                ->findChildren<QWidget *>(QStringLiteral("MyIpInput"))
                                .value(0);
        for (int i = 0; i < 4; ++i) {
            QLineEdit *field = ipEditor->findChild<QLineEdit *>(QStringLiteral("leIp%1").arg(i + 1));
            field->clear();
            QTest::keyClicks(field, octets[i]);
        }
        ModalDriver::clickLater(modal->findChild<QPushButton *>(QStringLiteral("pbtnSet")));
        return true;
    }});
    window.findChild<QPushButton *>(QStringLiteral("pbtNetSet"))->click();
    QVERIFY2(driver.finished() && !driver.timedOut(), "the settings dialog was not driven to the end");

    SetIpRequest expected = before;
    expected.ipways = QStringLiteral("static");
    expected.ipaddr = QStringLiteral("198.18.0.77");
    const QByteArray command = protocol::setIpCommand(expected);
    QTRY_VERIFY_WITH_TIMEOUT(!sim.rxOf(command).isEmpty(), 3000);
    QCOMPARE(sim.rxOf(command).size(), 1);

    // Sent on a tick of its own: a second after the discovery before it, a second before
    // the discovery after it, and no discovery in between.
    QTRY_VERIFY_WITH_TIMEOUT(sim.rx.last().data == protocol::discoveryRequest() &&
                                 sim.rx.last().simMs > sim.rxOf(command).first().simMs,
                             3000);
    int at = 0;
    while (sim.rx[at].data != command)
        ++at;
    QVERIFY(at > 0 && sim.rx[at - 1].data == protocol::discoveryRequest());
    QVERIFY(sim.rx[at + 1].data == protocol::discoveryRequest());
    QVERIFY(qAbs(sim.rx[at].simMs - sim.rx[at - 1].simMs - 1000) < 200);
    QVERIFY(qAbs(sim.rx[at + 1].simMs - sim.rx[at].simMs - 1000) < 200);

    // The device answers under its new address; the other one is untouched.
    QTRY_COMPARE_WITH_TIMEOUT(engine.cell(engine.rowOf(before.mac), 1), QStringLiteral("198.18.0.77"), 3000);
    QCOMPARE(withoutCount(engine.device(engine.rowOf(otherBefore.mac))), withoutCount(otherBefore));
}

QTEST_MAIN(tst_E2eDialog)
#include "tst_e2e_dialog.moc"
