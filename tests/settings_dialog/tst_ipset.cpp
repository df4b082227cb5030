#include "ipitemmode.h"
#include "iplist.h"
#include "ipset.h"
#include "modaldriver.h"
#include "myipinput.h"
#include "netsettings.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

// The six settings fields, '|'-separated: ipways|ipaddr|mask|gateway|dns1|dns2.
QString settings(const SetIpRequest &r)
{
    return QStringList{r.ipways, r.ipaddr, r.mask, r.gateway, r.dns1, r.dns2}.join(QLatin1Char('|'));
}

SetIpRequest device(const QString &settingsText)
{
    const QStringList f = settingsText.split(QLatin1Char('|'));
    SetIpRequest r;
    r.version = QStringLiteral("V2.1.7"), r.mac = QStringLiteral("00:1A:2B:3C:4D:5E");
    r.ipways = f.value(0), r.ipaddr = f.value(1), r.mask = f.value(2);
    r.gateway = f.value(3), r.dns1 = f.value(4), r.dns2 = f.value(5);
    return r;
}

const QString staticDevice = QStringLiteral("static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4");

template <typename T> T *child(const QWidget *w, const char *name)
{
    return w->findChild<T *>(QLatin1String(name));
}

// Field n (1 to 4) of editor row r: IP address, mask, gateway, preferred DNS, alternate DNS.
QLineEdit *octetField(const QWidget *dialog, int r, int n)
{
    const auto editors = child<QGroupBox>(dialog, "gboxStaticIPSet")
                             ->findChildren<MyIpInput *>(QString(), Qt::FindDirectChildrenOnly);
    return editors.at(r)->findChild<QLineEdit *>(QStringLiteral("leIp%1").arg(n));
}

// A driver step: work the open dialog as the user would, following a script of words:
// "type" (7 as the last octet of the address), "dhcp", "static", "nogateway" (empties an
// octet of the gateway), then how the dialog is left: "ok", "cancel", "escape" or "close".
ModalDriver::Step userDoes(const QString &script)
{
    return [=](QWidget *dialog) {
        if (!qobject_cast<IpSet *>(dialog))
            return false;
        for (const QString &word : script.split(QLatin1Char(' '))) {
            if (word == QLatin1String("type")) {
                octetField(dialog, 0, 4)->clear();
                QTest::keyClicks(octetField(dialog, 0, 4), QStringLiteral("7"));
            } else if (word == QLatin1String("dhcp")) {
                child<QRadioButton>(dialog, "rbtnAutoIp")->click();
            } else if (word == QLatin1String("static")) {
                child<QRadioButton>(dialog, "rbtnStaticIp")->click();
            } else if (word == QLatin1String("nogateway")) {
                octetField(dialog, 2, 3)->clear();
            } else if (word == QLatin1String("escape")) {
                QTimer::singleShot(0, dialog, [dialog] { QTest::keyClick(dialog, Qt::Key_Escape); });
            } else if (word != QLatin1String("gone")) {
                const char *button = word == QLatin1String("ok")       ? "pbtnSet"
                                     : word == QLatin1String("cancel") ? "pbtnCancel"
                                                                       : "btnClose";
                ModalDriver::clickLater(child<QPushButton>(dialog, button));
            }
        }
        return true;
    };
}

// Three listed devices; the one under test is row 1, between two others.
struct Devices
{
    IpItemMode model;
    IpList list{model};

    explicit Devices(const QString &middle)
    {
        SetIpRequest other = device(staticDevice);
        for (const char *mac : {"00:00:00:00:00:01", "", "00:00:00:00:00:03"}) {
            other.mac = QLatin1String(mac);
            list.mergeDevice(*mac ? other : device(middle));
        }
        list.applyPendingChanges();
    }
    QList<SetIpRequest> queued()
    {
        QList<SetIpRequest> all;
        while (std::optional<SetIpRequest> r = list.takeSetIpRequest())
            all << *r;
        return all;
    }
};

} // namespace

class tst_IpSet : public QObject
{
    Q_OBJECT
private slots:
    void incompleteAddress_data();
    void incompleteAddress();
    void flow_data();
    void flow();
    void noCurrentRow();
};

void tst_IpSet::incompleteAddress_data()
{
    QTest::addColumn<int>("editor");
    QTest::addColumn<int>("field");
    QTest::newRow("ip address") << 0 << 2;
    QTest::newRow("subnet mask") << 1 << 4;
}

void tst_IpSet::incompleteAddress()
{
    QFETCH(int, editor);
    QFETCH(int, field);
    SetIpRequest request = device(staticDevice);
    const SetIpRequest before = request;
    QWidget mainWindow; // the dialog goes with it, as it would with the program's window
    auto *dlg = new IpSet(&request, &mainWindow);
    dlg->show();
    octetField(dlg, editor, field)->clear();
    QString box;
    ModalDriver driver({[&](QWidget *modal) {
        auto *msg = qobject_cast<QMessageBox *>(modal);
        if (!msg)
            return false;
        box =
            QStringList{msg->windowTitle(), msg->text(), QString::number(msg->icon())}.join(QLatin1Char('|'));
        for (QAbstractButton *b : msg->buttons())
            box += QLatin1Char('|') + b->text();
        ModalDriver::clickLater(msg->buttons().value(0));
        return true;
    }});
    child<QPushButton>(dlg, "pbtnSet")->click(); // returns once the warning is closed
    QVERIFY(driver.finished() && !driver.timedOut());
    QCOMPARE(box, QStringLiteral("警告|Ip格式错误!|%1|ok").arg(int(QMessageBox::Warning)));
    // Still open, the entry as typed, the request untouched.
    QVERIFY(dlg->isVisible());
    QCOMPARE(octetField(dlg, editor, field)->text(), QString());
    QCOMPARE(request, before);
}

void tst_IpSet::flow_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("script"); // what the user does, see userDoes()
    QTest::addColumn<QString>("queued"); // settings of the one queued request; empty: none

    const auto s = [](const char *text) { return QString::fromLatin1(text); };
    const QString none, dhcp = s("dhcp|||||"), dhcpDevice = s("dhcp|10.0.0.5|255.0.0.0|10.0.0.1|10.0.0.2|");
    const auto row = [](const char *name, const QString &device, const char *script, const QString &queued) {
        QTest::newRow(name) << device << QString::fromLatin1(script) << queued;
    };
    row("dhcp device with fields", dhcpDevice, "ok", dhcp);
    row("dhcp device without fields", dhcp, "ok", none);
    row("static unchanged", staticDevice, "ok", none);
    row("empty DNS becomes 0.0.0.0", s("static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|"), "ok",
        s("static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|0.0.0.0"));
    row("leading zeros dropped", s("static|192.168.001.010|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4"), "ok",
        staticDevice);
    row("DHCP in capitals opens static", s("DHCP|||||"), "ok",
        s("static|0.0.0.0|0.0.0.0|0.0.0.0|0.0.0.0|0.0.0.0"));
    row("a switch discards typing", staticDevice, "type dhcp static ok", none);
    row("typed address", staticDevice, "type ok",
        s("static|192.168.1.7|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4"));
    row("incomplete gateway is empty", staticDevice, "nogateway ok",
        s("static|192.168.1.10|255.255.255.0||8.8.8.8|8.8.4.4"));
    row("dhcp device to static", dhcpDevice, "static ok",
        s("static|10.0.0.5|255.0.0.0|10.0.0.1|10.0.0.2|0.0.0.0"));
    row("to dhcp, device gone while open", staticDevice, "gone dhcp ok", dhcp);
    row("cancel", staticDevice, "dhcp cancel", none);
    row("escape", staticDevice, "dhcp escape", none);
    row("close button", staticDevice, "dhcp close", none);
}

void tst_IpSet::flow()
{
    QFETCH(QString, device);
    QFETCH(QString, script);
    QFETCH(QString, queued);
    Devices devices(device);
    QWidget mainWindow;
    const ModalDriver::Step user = userDoes(script);
    ModalDriver driver({[&](QWidget *modal) {
        if (script.startsWith(QLatin1String("gone"))) {
            devices.list.ageDevices(1000); // every entry is stale by then
            devices.list.applyPendingChanges();
        }
        return user(modal);
    }});
    runNetworkSettings(devices.list, 1, &mainWindow);
    QVERIFY(driver.finished() && !driver.timedOut());
    QVERIFY(mainWindow.findChildren<IpSet *>().isEmpty()); // the dialog is gone

    const QList<SetIpRequest> requests = devices.queued();
    QCOMPARE(requests.size(), queued.isEmpty() ? 0 : 1);
    if (!requests.isEmpty()) {
        QCOMPARE(settings(requests[0]), queued);
        // The device of row 1, as read when the dialog opened.
        QCOMPARE(requests[0].mac + requests[0].version, QStringLiteral("00:1A:2B:3C:4D:5EV2.1.7"));
    }
}

// No current row (an invalid index's row -1): nothing opens, nothing is queued.
void tst_IpSet::noCurrentRow()
{
    Devices devices(staticDevice);
    ModalDriver driver({}, 1000); // rejects a dialog opened by mistake
    runNetworkSettings(devices.list, -1, nullptr);
    QVERIFY(!driver.sawModal());
    QCOMPARE(devices.queued().size(), 0);
}

QTEST_MAIN(tst_IpSet)
#include "tst_ipset.moc"
