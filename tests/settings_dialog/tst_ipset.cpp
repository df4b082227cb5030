#include "ipitemmode.h"
#include "iplist.h"
#include "ipset.h"
#include "modaldriver.h"
#include "myipinput.h"
#include "netsettings.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTranslator>
#include <QtTest>

#include <climits>
#include <memory>
#include <type_traits>

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
    r.extra = QStringLiteral("extra");
    r.cnt = 77;
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

// IP address, mask, gateway, preferred DNS, alternate DNS: the rows top to bottom.
QList<MyIpInput *> editors(const QWidget *dialog)
{
    return child<QGroupBox>(dialog, "gboxStaticIPSet")
        ->findChildren<MyIpInput *>(QString(), Qt::FindDirectChildrenOnly);
}

QLineEdit *octetField(MyIpInput *editor, int n)
{
    return editor->findChild<QLineEdit *>(QStringLiteral("leIp%1").arg(n));
}

enum class Edit
{
    None,
    ToDhcp,
    ToStatic,
    DhcpAndBack,
    TypeIntoIp,
    TypeThenDhcpAndBack,
    EmptyGatewayOctet
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
        auto *autoIp = child<QRadioButton>(dialog, "rbtnAutoIp");
        auto *staticIp = child<QRadioButton>(dialog, "rbtnStaticIp");
        QLineEdit *ipLast = octetField(editors(dialog)[0], 4);
        if (edit == Edit::TypeIntoIp || edit == Edit::TypeThenDhcpAndBack) {
            ipLast->clear();
            QTest::keyClicks(ipLast, QStringLiteral("7"));
        }
        if (edit == Edit::ToDhcp || edit == Edit::DhcpAndBack || edit == Edit::TypeThenDhcpAndBack)
            autoIp->click();
        if (edit == Edit::ToStatic || edit == Edit::DhcpAndBack || edit == Edit::TypeThenDhcpAndBack)
            staticIp->click();
        if (edit == Edit::EmptyGatewayOctet)
            octetField(editors(dialog)[2], 3)->clear();

        if (leave == Leave::Escape)
            QTimer::singleShot(0, dialog, [dialog] { QTest::keyClick(dialog, Qt::Key_Escape); });
        else
            ModalDriver::clickLater(child<QPushButton>(dialog, leave == Leave::Confirm  ? "pbtnSet"
                                                               : leave == Leave::Cancel ? "pbtnCancel"
                                                                                        : "btnClose"));
        return true;
    };
}

// IpList has taken its model by pointer and by reference in turn; build it either way.
template <typename L> std::unique_ptr<L> makeList(IpItemMode &model)
{
    if constexpr (std::is_constructible_v<L, IpItemMode &>)
        return std::make_unique<L>(model);
    else
        return std::make_unique<L>(&model);
}

// Three listed devices; the one under test is row 1, between two others.
struct Devices
{
    IpItemMode model;
    std::unique_ptr<IpList> owned = makeList<IpList>(model);
    IpList &list = *owned;

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

class PrefixTranslator : public QTranslator
{
public:
    explicit PrefixTranslator(const QString &prefix) : m_prefix(prefix) {}
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        return qstrcmp(context, "IpSet") == 0 ? m_prefix + QString::fromUtf8(source) : QString();
    }

private:
    QString m_prefix;
};

} // namespace

Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(Leave)

class TestIpSet : public QObject
{
    Q_OBJECT
private slots:
    void form();
    void openMode_data();
    void openMode();
    void confirm_data();
    void confirm();
    void incompleteAddress_data();
    void incompleteAddress();
    void retranslation();
    void drag_data();
    void drag();
    void flow_data();
    void flow();
    void noDialog_data();
    void noDialog();
    void deviceGoneWhileOpen();
};

void TestIpSet::form()
{
    SetIpRequest request = device(staticDevice);
    std::unique_ptr<IpSet> dlg(new IpSet(&request));
    QCOMPARE(int(dlg->windowFlags()), 0xE801);
    QVERIFY(dlg->testAttribute(Qt::WA_DeleteOnClose));

    // As the style sheets reach the widgets: tabs, newlines and odd runs of spaces intact.
    const QString radioLook = QStringLiteral(
        "QRadioButton::indicator:unchecked {\n    border-radius:          7px;\n\tbackground-color: rgb(255, "
        "255, 255);\n    border:                 3px solid white;  \n }\n\n QRadioButton::indicator:checked "
        "{\n    border-radius:          7px;\n    background-color:       #0C1D3C;\n    border:              "
        "   "
        "3px solid white;  \n}");
    QCOMPARE(radioLook.size(), 312);
    QCOMPARE(child<QRadioButton>(dlg.get(), "rbtnAutoIp")->styleSheet(), radioLook);
    QCOMPARE(child<QRadioButton>(dlg.get(), "rbtnStaticIp")->styleSheet(), radioLook);
    QCOMPARE(child<QWidget>(dlg.get(), "wgtHead")->styleSheet(),
             QStringLiteral("QWidget#wgtHead{\n\tbackground-color: #0C1D3C;\n}"));

    // Five rows, each label directly before its editor.
    auto *box = child<QGroupBox>(dlg.get(), "gboxStaticIPSet");
    const QStringList texts{QStringLiteral("ip地址:"), QStringLiteral("子网掩码:"),
                            QStringLiteral("默认网关:"), QStringLiteral("首选DNS:"),
                            QStringLiteral("备选DNS:")};
    const QList<QLabel *> labels = box->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    const QList<MyIpInput *> e = editors(dlg.get());
    QCOMPARE(labels.size(), 5);
    QCOMPARE(e.size(), 5);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(labels[i]->text(), texts[i]);
        QCOMPARE(labels[i]->minimumWidth(), 125);
        QVERIFY(labels[i]->wordWrap());
        QCOMPARE(box->children().indexOf(e[i]), box->children().indexOf(labels[i]) + 1);
    }
}

void TestIpSet::openMode_data()
{
    QTest::addColumn<QString>("ipways");
    QTest::addColumn<bool>("automatic");
    for (const char *ipways : {"dhcp", "DHCP", "dhcp ", "static", "", "manual"})
        QTest::newRow(ipways) << QString::fromUtf8(ipways) << (qstrcmp(ipways, "dhcp") == 0);
}

void TestIpSet::openMode()
{
    QFETCH(QString, ipways);
    QFETCH(bool, automatic);
    // Neither DNS text is an address: both show as zeros.
    SetIpRequest request = device(ipways + QStringLiteral("|192.168.1.10|255.255.255.0|192.168.1.1||1.2.3"));
    const SetIpRequest before = request;
    std::unique_ptr<IpSet> dlg(new IpSet(&request));

    QCOMPARE(child<QRadioButton>(dlg.get(), "rbtnAutoIp")->isChecked(), automatic);
    QCOMPARE(child<QRadioButton>(dlg.get(), "rbtnStaticIp")->isChecked(), !automatic);
    QCOMPARE(child<QGroupBox>(dlg.get(), "gboxStaticIPSet")->isEnabled(), !automatic);
    QStringList shown{QStringLiteral("192.168.1.10"), QStringLiteral("255.255.255.0"),
                      QStringLiteral("192.168.1.1"), QStringLiteral("0.0.0.0"), QStringLiteral("0.0.0.0")};
    if (automatic)
        std::fill(shown.begin(), shown.end(), QStringLiteral("0.0.0.0"));
    const QList<MyIpInput *> e = editors(dlg.get());
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(e[i]->ipText(), shown[i]);
        QCOMPARE(e[i]->isEnabled(), !automatic);
        QCOMPARE(e[i]->styleSheet().contains(QLatin1String("rgb(188, 188, 188)")), automatic);
    }
    QCOMPARE(request, before); // opening writes nothing
}

void TestIpSet::confirm_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("result");

    const QString typed = QStringLiteral("static|192.168.1.7|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4");
    const QString dhcpDevice = QStringLiteral("dhcp|10.0.0.5|255.0.0.0|10.0.0.1|10.0.0.2|");
    QTest::newRow("static to dhcp") << staticDevice << Edit::ToDhcp << QStringLiteral("dhcp|||||");
    QTest::newRow("dhcp and back shows the device") << staticDevice << Edit::DhcpAndBack << staticDevice;
    QTest::newRow("typed address") << staticDevice << Edit::TypeIntoIp << typed;
    QTest::newRow("a switch discards typing") << staticDevice << Edit::TypeThenDhcpAndBack << staticDevice;
    QTest::newRow("incomplete gateway is empty")
        << staticDevice << Edit::EmptyGatewayOctet
        << QStringLiteral("static|192.168.1.10|255.255.255.0||8.8.8.8|8.8.4.4");
    QTest::newRow("dhcp device to static")
        << dhcpDevice << Edit::ToStatic
        << QStringLiteral("static|10.0.0.5|255.0.0.0|10.0.0.1|10.0.0.2|0.0.0.0");
}

void TestIpSet::confirm()
{
    QFETCH(QString, device);
    QFETCH(Edit, edit);
    QFETCH(QString, result);
    SetIpRequest request = ::device(device);
    ModalDriver driver({userDoes(edit, Leave::Confirm)});
    QPointer<IpSet> dlg = new IpSet(&request);
    QCOMPARE(dlg->exec(), int(QDialog::Accepted));
    QVERIFY(driver.finished() && !driver.timedOut());
    QVERIFY(dlg.isNull()); // deleted before exec() returned

    QCOMPARE(settings(request), result);
    for (const QString *f : {&request.ipaddr, &request.mask, &request.gateway, &request.dns1, &request.dns2})
        QVERIFY(!f->isNull()); // empty text, never a null string
    const SetIpRequest original = ::device(device);
    QVERIFY(request.version == original.version && request.mac == original.mac &&
            request.extra == original.extra && request.cnt == original.cnt);
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
            octetField(editors(modal)[editor], field)->clear();
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
                            .arg(octetField(editors(modal)[editor], field)->text());
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

void TestIpSet::retranslation()
{
    PrefixTranslator first(QStringLiteral("A:"));
    PrefixTranslator second(QStringLiteral("B:"));
    QVERIFY(QCoreApplication::installTranslator(&first));
    SetIpRequest request = device(staticDevice);
    std::unique_ptr<IpSet> dlg(new IpSet(&request));
    auto *box = child<QGroupBox>(dlg.get(), "gboxStaticIPSet");
    auto dnsLabel = [&] {
        return box->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).value(3);
    };
    QCOMPARE(dnsLabel()->text(), QStringLiteral("A:首选DNS:"));

    QCoreApplication::removeTranslator(&first);
    QVERIFY(QCoreApplication::installTranslator(&second));
    QTRY_COMPARE(dlg->windowTitle(), QStringLiteral("B:IP设置"));
    QCOMPARE(child<QLabel>(dlg.get(), "label_3")->text(), QStringLiteral("B:IP设置"));
    QCOMPARE(child<QRadioButton>(dlg.get(), "rbtnAutoIp")->text(), QStringLiteral("B:自动获取IP"));
    QCOMPARE(child<QRadioButton>(dlg.get(), "rbtnStaticIp")->text(), QStringLiteral("B:使用静态IP"));
    QCOMPARE(box->title(), QStringLiteral("B:静态IP设置"));
    QCOMPARE(child<QPushButton>(dlg.get(), "pbtnSet")->text(), QStringLiteral("B:设置"));
    QCOMPARE(child<QPushButton>(dlg.get(), "pbtnCancel")->text(), QStringLiteral("B:取消"));
    QCOMPARE(dnsLabel()->text(), QStringLiteral("A:首选DNS:")); // row labels keep their first text
    QCoreApplication::removeTranslator(&second);
}

void TestIpSet::drag_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("moved");
    QTest::newRow("left button drags") << int(Qt::LeftButton) << QPoint(30, -15);
    QTest::newRow("right button does not") << int(Qt::RightButton) << QPoint();
}

void TestIpSet::drag()
{
    QFETCH(int, button);
    QFETCH(QPoint, moved);
    SetIpRequest request = device(staticDevice);
    std::unique_ptr<IpSet> dlg(new IpSet(&request));
    dlg->move(200, 150);
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    const QPoint start = dlg->pos();

    // The press lands on the header, which passes it on to the dialog.
    auto *head = child<QWidget>(dlg.get(), "wgtHead");
    const QPoint grab(200, 25);
    QTest::mousePress(head, Qt::MouseButton(button), Qt::NoModifier, grab);
    const QPoint to = head->mapTo(dlg.get(), grab) + QPoint(30, -15);
    QMouseEvent move(QEvent::MouseMove, to, dlg->mapToGlobal(to), Qt::NoButton, Qt::MouseButtons(button),
                     Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &move);
    QCOMPARE(dlg->pos(), start + moved);
    QTest::mouseRelease(head, Qt::MouseButton(button), Qt::NoModifier, grab);
}

void TestIpSet::flow_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<Leave>("leave");
    QTest::addColumn<QString>("queued"); // settings of the one queued request; empty: none

    const QString none;
    const QString zeros = QStringLiteral("static|0.0.0.0|0.0.0.0|0.0.0.0|0.0.0.0|0.0.0.0");
    QTest::newRow("dhcp device with fields") << QStringLiteral("dhcp|10.0.0.5|255.0.0.0|10.0.0.1||")
                                             << Edit::None << Leave::Confirm << QStringLiteral("dhcp|||||");
    QTest::newRow("dhcp device without fields")
        << QStringLiteral("dhcp|||||") << Edit::None << Leave::Confirm << none;
    QTest::newRow("static unchanged") << staticDevice << Edit::None << Leave::Confirm << none;
    QTest::newRow("empty DNS becomes 0.0.0.0")
        << QStringLiteral("static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|") << Edit::None
        << Leave::Confirm << QStringLiteral("static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|0.0.0.0");
    QTest::newRow("leading zeros dropped")
        << QStringLiteral("static|192.168.001.010|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4") << Edit::None
        << Leave::Confirm << staticDevice;
    QTest::newRow("DHCP in capitals opens static")
        << QStringLiteral("DHCP|||||") << Edit::None << Leave::Confirm << zeros;
    QTest::newRow("switched to dhcp")
        << staticDevice << Edit::ToDhcp << Leave::Confirm << QStringLiteral("dhcp|||||");
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
    ModalDriver driver({userDoes(edit, leave)});
    runNetworkSettings(devices.list, 1, &mainWindow);
    QVERIFY(driver.finished() && !driver.timedOut());
    QVERIFY(mainWindow.findChildren<IpSet *>().isEmpty()); // the dialog is gone

    const QList<SetIpRequest> requests = devices.queued();
    QCOMPARE(requests.size(), queued.isEmpty() ? 0 : 1);
    if (!requests.isEmpty()) {
        QCOMPARE(settings(requests[0]), queued);
        QCOMPARE(requests[0].mac, QStringLiteral("00:1A:2B:3C:4D:5E")); // the device of row 1
    }
}

void TestIpSet::noDialog_data()
{
    QTest::addColumn<bool>("empty");
    QTest::addColumn<int>("row");
    QTest::newRow("no current row") << false << -1;
    QTest::newRow("row == count") << false << 3;
    QTest::newRow("65536 is not row 0") << false << 65536;
    QTest::newRow("most negative") << false << INT_MIN;
    QTest::newRow("empty list") << true << 0;
}

void TestIpSet::noDialog()
{
    QFETCH(bool, empty);
    QFETCH(int, row);
    Devices devices(staticDevice);
    if (empty) {
        devices.list.ageDevices(1000); // every entry is stale by then
        devices.list.applyPendingChanges();
    }
    ModalDriver driver({}, 1000); // rejects a dialog opened by mistake
    runNetworkSettings(devices.list, row, nullptr);
    QVERIFY(!driver.sawModal());
    QCOMPARE(devices.queued().size(), 0);
}

void TestIpSet::deviceGoneWhileOpen()
{
    // The request keeps the identity read when the dialog opened.
    Devices devices(staticDevice);
    const ModalDriver::Step confirmDhcp = userDoes(Edit::ToDhcp, Leave::Confirm);
    ModalDriver driver({[&](QWidget *modal) {
        devices.list.ageDevices(1000);
        devices.list.applyPendingChanges();
        return confirmDhcp(modal);
    }});
    runNetworkSettings(devices.list, 1, nullptr);
    QVERIFY(driver.finished());
    QCOMPARE(devices.list.count(), 0);
    const QList<SetIpRequest> requests = devices.queued();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].mac, QStringLiteral("00:1A:2B:3C:4D:5E"));
    QCOMPARE(requests[0].version, QStringLiteral("V2.1.7"));
}

QTEST_MAIN(TestIpSet)
#include "tst_ipset.moc"
