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
    r.version = QStringLiteral("V2.1.7");
    r.mac = QStringLiteral("00:1A:2B:3C:4D:5E");
    r.ipways = f.value(0);
    r.ipaddr = f.value(1);
    r.mask = f.value(2);
    r.gateway = f.value(3);
    r.dns1 = f.value(4);
    r.dns2 = f.value(5);
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

enum class Edit
{
    None,
    ToDhcp,
    ToStatic,
    DhcpAndBack,
    TypeIntoIp,
    TypeThenDhcpAndBack,
    EmptyGatewayOctet,
    DeviceGoneThenDhcp
};
enum class Leave
{
    Confirm,
    Cancel,
    Escape,
    CloseButton
};

// A driver step: edit the open dialog as the user would, then leave it.
ModalDriver::Step userDoes(Edit edit, Leave leave)
{
    return [=](QWidget *dialog) {
        if (!qobject_cast<IpSet *>(dialog))
            return false;
        if (edit == Edit::TypeIntoIp || edit == Edit::TypeThenDhcpAndBack) {
            octetField(dialog, 0, 4)->clear();
            QTest::keyClicks(octetField(dialog, 0, 4), QStringLiteral("7"));
        }
        if (edit == Edit::ToDhcp || edit == Edit::DhcpAndBack || edit == Edit::TypeThenDhcpAndBack ||
            edit == Edit::DeviceGoneThenDhcp)
            child<QRadioButton>(dialog, "rbtnAutoIp")->click();
        if (edit == Edit::ToStatic || edit == Edit::DhcpAndBack || edit == Edit::TypeThenDhcpAndBack)
            child<QRadioButton>(dialog, "rbtnStaticIp")->click();
        if (edit == Edit::EmptyGatewayOctet)
            octetField(dialog, 2, 3)->clear();

        if (leave == Leave::Escape)
            QTimer::singleShot(0, dialog, [dialog] { QTest::keyClick(dialog, Qt::Key_Escape); });
        else
            ModalDriver::clickLater(child<QPushButton>(dialog, leave == Leave::Confirm  ? "pbtnSet"
                                                               : leave == Leave::Cancel ? "pbtnCancel"
                                                                                        : "btnClose"));
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
    void removeAll()
    {
        list.ageDevices(1000); // every entry is stale by then
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

Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(Leave)

class TestIpSet : public QObject
{
    Q_OBJECT
private slots:
    void form();
    void incompleteAddress_data();
    void incompleteAddress();
    void flow_data();
    void flow();
    void noDialog_data();
    void noDialog();
};

void TestIpSet::form()
{
    SetIpRequest request = device(staticDevice);
    QScopedPointer<IpSet> dlg(new IpSet(&request));
    QCOMPARE(int(dlg->windowFlags()), 0xE801);
    // As the style sheet reaches the buttons: tabs, newlines and odd runs of spaces intact.
    const QString radioLook = QStringLiteral(
        "QRadioButton::indicator:unchecked {\n    border-radius:          7px;\n\tbackground-color: rgb(255, "
        "255, 255);\n    border:                 3px solid white;  \n }\n\n QRadioButton::indicator:checked "
        "{\n    border-radius:          7px;\n    background-color:       #0C1D3C;\n    border:              "
        "   "
        "3px solid white;  \n}");
    QCOMPARE(child<QRadioButton>(dlg.data(), "rbtnAutoIp")->styleSheet(), radioLook);
    QCOMPARE(child<QRadioButton>(dlg.data(), "rbtnStaticIp")->styleSheet(), radioLook);
}

void TestIpSet::incompleteAddress_data()
{
    QTest::addColumn<int>("editor");
    QTest::addColumn<int>("field");
    QTest::newRow("ip address") << 0 << 2;
    QTest::newRow("subnet mask") << 1 << 4;
}

void TestIpSet::incompleteAddress()
{
    QFETCH(int, editor);
    QFETCH(int, field);
    SetIpRequest request = device(staticDevice);
    const SetIpRequest before = request;
    QString box, stillOpen;
    ModalDriver driver({
        [&](QWidget *modal) {
            if (!qobject_cast<IpSet *>(modal))
                return false;
            octetField(modal, editor, field)->clear();
            ModalDriver::clickLater(child<QPushButton>(modal, "pbtnSet"));
            return true;
        },
        [&](QWidget *modal) {
            auto *msg = qobject_cast<QMessageBox *>(modal);
            if (!msg)
                return false;
            box = QStringList{msg->windowTitle(), msg->text(), QString::number(msg->icon())}.join(
                QLatin1Char('|'));
            for (QAbstractButton *b : msg->buttons())
                box += QLatin1Char('|') + b->text();
            ModalDriver::clickLater(msg->buttons().value(0));
            return true;
        },
        [&](QWidget *modal) {
            if (!qobject_cast<IpSet *>(modal))
                return false;
            // Still open, the entries as typed, the request untouched.
            stillOpen = QStringLiteral("%1|%2|%3")
                            .arg(modal->isVisible())
                            .arg(request == before)
                            .arg(octetField(modal, editor, field)->text());
            ModalDriver::clickLater(child<QPushButton>(modal, "pbtnCancel"));
            return true;
        },
    });
    QCOMPARE((new IpSet(&request))->exec(), int(QDialog::Rejected));
    QVERIFY(driver.finished() && !driver.timedOut());
    QCOMPARE(box, QStringLiteral("警告|Ip格式错误!|%1|ok").arg(int(QMessageBox::Warning)));
    QCOMPARE(stillOpen, QStringLiteral("1|1|"));
    QCOMPARE(request, before);
}

void TestIpSet::flow_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<Leave>("leave");
    QTest::addColumn<QString>("queued"); // settings of the one queued request; empty: none

    const QString none;
    const QString dhcp = QStringLiteral("dhcp|||||");
    const QString dhcpDevice = QStringLiteral("dhcp|10.0.0.5|255.0.0.0|10.0.0.1|10.0.0.2|");
    const Leave ok = Leave::Confirm;
    QTest::newRow("dhcp device with fields") << dhcpDevice << Edit::None << ok << dhcp;
    QTest::newRow("dhcp device without fields") << dhcp << Edit::None << ok << none;
    QTest::newRow("static unchanged") << staticDevice << Edit::None << ok << none;
    QTest::newRow("empty DNS becomes 0.0.0.0")
        << QStringLiteral("static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|") << Edit::None << ok
        << QStringLiteral("static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|0.0.0.0");
    QTest::newRow("leading zeros dropped")
        << QStringLiteral("static|192.168.001.010|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4") << Edit::None
        << ok << staticDevice;
    QTest::newRow("DHCP in capitals opens static")
        << QStringLiteral("DHCP|||||") << Edit::None << ok
        << QStringLiteral("static|0.0.0.0|0.0.0.0|0.0.0.0|0.0.0.0|0.0.0.0");
    QTest::newRow("switched to dhcp") << staticDevice << Edit::ToDhcp << ok << dhcp;
    QTest::newRow("dhcp and back shows the device") << staticDevice << Edit::DhcpAndBack << ok << none;
    QTest::newRow("a switch discards typing") << staticDevice << Edit::TypeThenDhcpAndBack << ok << none;
    QTest::newRow("typed address") << staticDevice << Edit::TypeIntoIp << ok
                                   << QStringLiteral(
                                          "static|192.168.1.7|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4");
    QTest::newRow("incomplete gateway is empty")
        << staticDevice << Edit::EmptyGatewayOctet << ok
        << QStringLiteral("static|192.168.1.10|255.255.255.0||8.8.8.8|8.8.4.4");
    QTest::newRow("dhcp device to static")
        << dhcpDevice << Edit::ToStatic << ok
        << QStringLiteral("static|10.0.0.5|255.0.0.0|10.0.0.1|10.0.0.2|0.0.0.0");
    QTest::newRow("device gone while open") << staticDevice << Edit::DeviceGoneThenDhcp << ok << dhcp;
    QTest::newRow("cancel") << staticDevice << Edit::ToDhcp << Leave::Cancel << none;
    QTest::newRow("escape") << staticDevice << Edit::ToDhcp << Leave::Escape << none;
    QTest::newRow("close button") << staticDevice << Edit::ToDhcp << Leave::CloseButton << none;
}

void TestIpSet::flow()
{
    QFETCH(QString, device);
    QFETCH(Edit, edit);
    QFETCH(Leave, leave);
    QFETCH(QString, queued);
    Devices devices(device);
    QWidget mainWindow;
    const ModalDriver::Step user = userDoes(edit, leave);
    ModalDriver driver({[&](QWidget *modal) {
        if (edit == Edit::DeviceGoneThenDhcp)
            devices.removeAll(); // the request keeps the identity read when the dialog opened
        return user(modal);
    }});
    runNetworkSettings(devices.list, 1, &mainWindow);
    QVERIFY(driver.finished() && !driver.timedOut());
    QVERIFY(mainWindow.findChildren<IpSet *>().isEmpty()); // the dialog is gone

    const QList<SetIpRequest> requests = devices.queued();
    QCOMPARE(requests.size(), queued.isEmpty() ? 0 : 1);
    if (!requests.isEmpty()) {
        QCOMPARE(settings(requests[0]), queued);
        // The device of row 1.
        QCOMPARE(requests[0].mac + requests[0].version, QStringLiteral("00:1A:2B:3C:4D:5EV2.1.7"));
    }
}

void TestIpSet::noDialog_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("no current row") << -1;
    QTest::newRow("row == count") << 3;
    QTest::newRow("65536 is not row 0") << 65536;
}

void TestIpSet::noDialog()
{
    QFETCH(int, row);
    Devices devices(staticDevice);
    ModalDriver driver({}, 1000); // rejects a dialog opened by mistake
    runNetworkSettings(devices.list, row, nullptr);
    QVERIFY(!driver.sawModal());
    QCOMPARE(devices.queued().size(), 0);
}

QTEST_MAIN(TestIpSet)
#include "tst_ipset.moc"
