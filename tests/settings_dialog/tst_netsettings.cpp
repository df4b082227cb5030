#include "dialogtesthelpers.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "ipset.h"
#include "modaldriver.h"
#include "netsettings.h"

#include <QPushButton>
#include <QtTest>

#include <climits>
#include <memory>
#include <type_traits>

namespace {

enum class Leave
{
    Confirm,
    Cancel,
    Escape,
    CloseButton,
};

void leave(QWidget *dialog, Leave how)
{
    switch (how) {
    case Leave::Confirm:
        ModalDriver::clickLater(child<QPushButton>(dialog, "pbtnSet"));
        break;
    case Leave::Cancel:
        ModalDriver::clickLater(child<QPushButton>(dialog, "pbtnCancel"));
        break;
    case Leave::Escape:
        QTimer::singleShot(0, dialog, [dialog] { QTest::keyClick(dialog, Qt::Key_Escape); });
        break;
    case Leave::CloseButton:
        ModalDriver::clickLater(child<QPushButton>(dialog, "btnClose"));
        break;
    }
}

// Three listed devices; the one under test sits in the middle row, between two others.
// IpList has taken its model by pointer and by reference in turn; build it either way.
template <typename L> std::unique_ptr<L> makeList(IpItemMode &model)
{
    if constexpr (std::is_constructible_v<L, IpItemMode &>)
        return std::make_unique<L>(model);
    else
        return std::make_unique<L>(&model);
}

struct Devices
{
    IpItemMode model;
    std::unique_ptr<IpList> owned = makeList<IpList>(model);
    IpList &list = *owned;

    explicit Devices(const QString &middleSettings)
    {
        SetIpRequest first = device(staticDevice);
        first.mac = QStringLiteral("00:00:00:00:00:01");
        SetIpRequest last = first;
        last.mac = QStringLiteral("00:00:00:00:00:03");
        for (const DeviceRecord &rec : {first, device(middleSettings), last})
            list.mergeDevice(rec);
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

Q_DECLARE_METATYPE(Leave)

class TestNetSettings : public QObject
{
    Q_OBJECT
private slots:
    void queued_data();
    void queued();
    void noDialog_data();
    void noDialog();
    void deviceGoneWhileOpen();
};

void TestNetSettings::queued_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<Leave>("leave");
    QTest::addColumn<QString>("queued"); // settings of the queued request; empty: nothing queued

    const QString dhcpWithFields = QStringLiteral("dhcp|10.0.0.5|255.0.0.0|10.0.0.1||");
    QTest::newRow("dhcp device with fields, confirmed")
        << dhcpWithFields << Edit::None << Leave::Confirm << "dhcp|||||";
    QTest::newRow("dhcp device without fields, confirmed")
        << "dhcp|||||" << Edit::None << Leave::Confirm << "";
    QTest::newRow("static unchanged") << staticDevice << Edit::None << Leave::Confirm << "";
    QTest::newRow("static, empty DNS becomes 0.0.0.0")
        << "static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|" << Edit::None << Leave::Confirm
        << "static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|0.0.0.0";
    QTest::newRow("static, leading zeros dropped")
        << "static|192.168.001.010|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4" << Edit::None << Leave::Confirm
        << staticDevice;
    QTest::newRow("DHCP in capitals opens static")
        << "DHCP|||||" << Edit::None << Leave::Confirm << "static|0.0.0.0|0.0.0.0|0.0.0.0|0.0.0.0|0.0.0.0";
    QTest::newRow("static to dhcp") << staticDevice << Edit::ToDhcp << Leave::Confirm << "dhcp|||||";
    QTest::newRow("typed address") << staticDevice << Edit::TypeIntoIp << Leave::Confirm
                                   << "static|192.168.1.7|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4";
    QTest::newRow("dhcp and back, unchanged") << staticDevice << Edit::ToDhcpAndBack << Leave::Confirm << "";
    QTest::newRow("cancel") << staticDevice << Edit::ToDhcp << Leave::Cancel << "";
    QTest::newRow("escape") << staticDevice << Edit::ToDhcp << Leave::Escape << "";
    QTest::newRow("close button") << staticDevice << Edit::ToDhcp << Leave::CloseButton << "";
    QTest::newRow("dhcp device, cancel") << dhcpWithFields << Edit::None << Leave::Cancel << "";
}

void TestNetSettings::queued()
{
    QFETCH(QString, device);
    QFETCH(Edit, edit);
    QFETCH(Leave, leave);
    QFETCH(QString, queued);
    Devices devices(device);
    QWidget mainWindow;

    QString parentName;
    ModalDriver driver({[&](QWidget *modal) {
        if (!qobject_cast<IpSet *>(modal))
            return false;
        parentName = modal->parentWidget() ? modal->parentWidget()->objectName() : QString();
        applyEdit(modal, edit);
        ::leave(modal, leave);
        return true;
    }});
    mainWindow.setObjectName(QStringLiteral("mainWindow"));
    runNetworkSettings(devices.list, 1, &mainWindow);
    QVERIFY(!driver.timedOut());
    QVERIFY(driver.finished());
    QCOMPARE(parentName, QStringLiteral("mainWindow"));
    QVERIFY(mainWindow.findChildren<IpSet *>().isEmpty()); // the dialog is gone

    const QList<SetIpRequest> requests = devices.queued();
    if (queued.isEmpty()) {
        QCOMPARE(requests.size(), 0);
        return;
    }
    QCOMPARE(requests.size(), 1);
    QCOMPARE(settings(requests[0]), queued);
    QCOMPARE(requests[0].mac, QStringLiteral("00:1A:2B:3C:4D:5E")); // the device of row 1
    QCOMPARE(requests[0].version, QStringLiteral("V2.1.7"));
}

void TestNetSettings::noDialog_data()
{
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("row");

    QTest::newRow("no current row") << 3 << -1;
    QTest::newRow("row past the end") << 3 << 3;
    QTest::newRow("far past the end") << 3 << 65535;
    QTest::newRow("16-bit wrap of -1 is no row 0") << 3 << 65536;
    QTest::newRow("most negative") << 3 << INT_MIN;
    QTest::newRow("empty list") << 0 << 0;
}

void TestNetSettings::noDialog()
{
    QFETCH(int, devices);
    QFETCH(int, row);
    Devices list(staticDevice);
    if (devices == 0) {
        list.list.ageDevices(1000); // every entry is stale by then
        list.list.applyPendingChanges();
    }
    QCOMPARE(list.list.count(), devices);

    // A dialog opened by mistake would be rejected by the driver after a second.
    ModalDriver driver({}, 1000);
    runNetworkSettings(list.list, row, nullptr);
    QVERIFY(!driver.sawModal());
    QCOMPARE(list.queued().size(), 0);
}

void TestNetSettings::deviceGoneWhileOpen()
{
    // The request keeps the device's identity as read when the dialog opened.
    Devices devices(staticDevice);
    ModalDriver driver({[&](QWidget *modal) {
        if (!qobject_cast<IpSet *>(modal))
            return false;
        devices.list.ageDevices(1000);
        devices.list.applyPendingChanges();
        applyEdit(modal, Edit::ToDhcp);
        leave(modal, Leave::Confirm);
        return true;
    }});
    runNetworkSettings(devices.list, 1, nullptr);
    QVERIFY(driver.finished());
    QCOMPARE(devices.list.count(), 0);
    const QList<SetIpRequest> requests = devices.queued();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].mac, QStringLiteral("00:1A:2B:3C:4D:5E"));
    QCOMPARE(requests[0].version, QStringLiteral("V2.1.7"));
    QCOMPARE(settings(requests[0]), QStringLiteral("dhcp|||||"));
}

QTEST_MAIN(TestNetSettings)
#include "tst_netsettings.moc"
