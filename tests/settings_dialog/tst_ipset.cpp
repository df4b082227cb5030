#include "dialogtesthelpers.h"
#include "ipset.h"
#include "modaldriver.h"
#include "myipinput.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

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
    void rejected_data();
    void rejected();
    void retranslation();
    void drag_data();
    void drag();
};

void TestIpSet::form()
{
    SetIpRequest request = device(staticDevice);
    std::unique_ptr<IpSet> dlg(new IpSet(&request));
    QCOMPARE(int(dlg->windowFlags()), 0xE801);
    QVERIFY(dlg->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(dlg->size(), QSize(528, 451));
    QCOMPARE(dlg->minimumSize(), QSize(520, 451));
    QCOMPARE(dlg->maximumSize(), QSize(528, 451));

    // The style sheets as they reach the widgets: tabs, newlines and odd runs of spaces intact.
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

    // Five labelled rows, each label directly before its editor.
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

    QTest::newRow("dhcp") << "dhcp" << true;
    QTest::newRow("DHCP") << "DHCP" << false;
    QTest::newRow("dhcp with a space") << "dhcp " << false;
    QTest::newRow("static") << "static" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("other") << "manual" << false;
}

void TestIpSet::openMode()
{
    QFETCH(QString, ipways);
    QFETCH(bool, automatic);
    // The DNS texts are not addresses: they show as zeros in static mode.
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
    const QString grey = QStringLiteral("rgb(188, 188, 188)");
    const QList<MyIpInput *> e = editors(dlg.get());
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(e[i]->ipText(), shown[i]);
        QCOMPARE(e[i]->isEnabled(), !automatic);
        QCOMPARE(e[i]->styleSheet().contains(grey), automatic);
    }
    QCOMPARE(request, before); // opening writes nothing
}

void TestIpSet::confirm_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("result");

    const QString unchanged = staticDevice;
    QTest::newRow("static unchanged") << staticDevice << Edit::None << unchanged;
    QTest::newRow("static to dhcp") << staticDevice << Edit::ToDhcp << "dhcp|||||";
    QTest::newRow("dhcp and back shows the device again") << staticDevice << Edit::ToDhcpAndBack << unchanged;
    QTest::newRow("typed address") << staticDevice << Edit::TypeIntoIp
                                   << "static|192.168.1.7|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4";
    QTest::newRow("typing discarded by a switch") << staticDevice << Edit::TypeThenDhcpAndBack << unchanged;
    QTest::newRow("incomplete gateway is empty")
        << staticDevice << Edit::EmptyGatewayOctet << "static|192.168.1.10|255.255.255.0||8.8.8.8|8.8.4.4";
    QTest::newRow("incomplete DNS is empty")
        << staticDevice << Edit::EmptyDnsOctet << "static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|";
    QTest::newRow("dhcp device confirmed")
        << "dhcp|10.0.0.5|255.0.0.0|10.0.0.1|10.0.0.2|" << Edit::None << "dhcp|||||";
    QTest::newRow("dhcp device to static") << "dhcp|10.0.0.5|255.0.0.0|10.0.0.1|10.0.0.2|" << Edit::ToStatic
                                           << "static|10.0.0.5|255.0.0.0|10.0.0.1|10.0.0.2|0.0.0.0";
    QTest::newRow("texts normalised") << "static|010.001.000.009|255.255.255.0|1.2.3|x|" << Edit::None
                                      << "static|10.1.0.9|255.255.255.0|0.0.0.0|0.0.0.0|0.0.0.0";
}

void TestIpSet::confirm()
{
    QFETCH(QString, device);
    QFETCH(Edit, edit);
    QFETCH(QString, result);
    SetIpRequest request = ::device(device);
    ModalDriver driver({[&](QWidget *modal) {
        if (!qobject_cast<IpSet *>(modal))
            return false;
        applyEdit(modal, edit);
        ModalDriver::clickLater(child<QPushButton>(modal, "pbtnSet"));
        return true;
    }});
    QPointer<IpSet> dlg = new IpSet(&request);
    QCOMPARE(dlg->exec(), int(QDialog::Accepted));
    QVERIFY(!driver.timedOut());
    QVERIFY(driver.finished());
    QVERIFY(dlg.isNull()); // gone by the time exec() returns

    QCOMPARE(settings(request), result);
    for (const QString *f : {&request.ipaddr, &request.mask, &request.gateway, &request.dns1, &request.dns2})
        QVERIFY(!f->isNull()); // empty text, never a null string
    // The device's identity and the rest stay as they were.
    QCOMPARE(request.version, QStringLiteral("V2.1.7"));
    QCOMPARE(request.mac, QStringLiteral("00:1A:2B:3C:4D:5E"));
    QCOMPARE(request.extra, QStringLiteral("extra"));
    QCOMPARE(request.cnt, 77u);
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
    QString title, text, icon, buttons;
    bool stayedOpen = false;
    QString typed;
    ModalDriver driver({
        [&](QWidget *modal) {
            if (!qobject_cast<IpSet *>(modal))
                return false;
            octetField(editors(modal)[editor], field)->clear();
            ModalDriver::clickLater(child<QPushButton>(modal, "pbtnSet"));
            return true;
        },
        [&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            if (!box)
                return false;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon() == QMessageBox::Warning ? QStringLiteral("warning") : QStringLiteral("other");
            for (QAbstractButton *b : box->buttons())
                buttons += b->text();
            if (!box->buttons().isEmpty())
                ModalDriver::clickLater(box->buttons().first());
            return true;
        },
        [&](QWidget *modal) {
            if (!qobject_cast<IpSet *>(modal))
                return false;
            stayedOpen = modal->isVisible() && request == before;
            typed = editors(modal)[editor]->ipText() + QLatin1Char('/') +
                    octetField(editors(modal)[editor], field)->text();
            ModalDriver::clickLater(child<QPushButton>(modal, "pbtnCancel"));
            return true;
        },
    });
    QCOMPARE((new IpSet(&request))->exec(), int(QDialog::Rejected));
    QVERIFY(!driver.timedOut());
    QVERIFY(driver.finished());
    QCOMPARE(title, QStringLiteral("警告"));
    QCOMPARE(text, QStringLiteral("Ip格式错误!"));
    QCOMPARE(icon, QStringLiteral("warning"));
    QCOMPARE(buttons, QStringLiteral("ok"));
    QVERIFY(stayedOpen);
    QCOMPARE(typed, QStringLiteral("/")); // the entries stay as typed
    QCOMPARE(request, before);
}

void TestIpSet::rejected_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel") << "pbtnCancel";
    QTest::newRow("close button") << "btnClose";
    QTest::newRow("escape") << "";
}

void TestIpSet::rejected()
{
    QFETCH(QString, how);
    SetIpRequest request = device(staticDevice);
    const SetIpRequest before = request;
    ModalDriver driver({[&](QWidget *modal) {
        if (!qobject_cast<IpSet *>(modal))
            return false;
        applyEdit(modal, Edit::ToDhcp);
        if (how.isEmpty())
            QTimer::singleShot(0, modal, [modal] { QTest::keyClick(modal, Qt::Key_Escape); });
        else
            ModalDriver::clickLater(modal->findChild<QPushButton *>(how));
        return true;
    }});
    QPointer<IpSet> dlg = new IpSet(&request);
    QCOMPARE(dlg->exec(), int(QDialog::Rejected));
    QVERIFY(!driver.timedOut());
    QVERIFY(driver.finished());
    QVERIFY(dlg.isNull());
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
    auto rowLabel = [&] {
        return box->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).value(3);
    };
    QCOMPARE(rowLabel()->text(), QStringLiteral("A:首选DNS:"));
    QCOMPARE(dlg->windowTitle(), QStringLiteral("A:IP设置"));

    QCoreApplication::removeTranslator(&first);
    QVERIFY(QCoreApplication::installTranslator(&second));
    QTRY_COMPARE(child<QRadioButton>(dlg.get(), "rbtnAutoIp")->text(), QStringLiteral("B:自动获取IP"));
    QCOMPARE(dlg->windowTitle(), QStringLiteral("B:IP设置"));
    QCOMPARE(child<QLabel>(dlg.get(), "label_3")->text(), QStringLiteral("B:IP设置"));
    QCOMPARE(child<QRadioButton>(dlg.get(), "rbtnStaticIp")->text(), QStringLiteral("B:使用静态IP"));
    QCOMPARE(box->title(), QStringLiteral("B:静态IP设置"));
    QCOMPARE(child<QPushButton>(dlg.get(), "pbtnSet")->text(), QStringLiteral("B:设置"));
    QCOMPARE(child<QPushButton>(dlg.get(), "pbtnCancel")->text(), QStringLiteral("B:取消"));
    QCOMPARE(child<QPushButton>(dlg.get(), "btnClose")->text(), QString());
    QCOMPARE(rowLabel()->text(), QStringLiteral("A:首选DNS:")); // row labels keep their first text
    QCoreApplication::removeTranslator(&second);
}

void TestIpSet::drag_data()
{
    QTest::addColumn<int>("buttonValue");
    QTest::addColumn<QPoint>("moved");
    QTest::newRow("left button drags") << int(Qt::LeftButton) << QPoint(30, -15);
    QTest::newRow("right button does not") << int(Qt::RightButton) << QPoint();
}

void TestIpSet::drag()
{
    QFETCH(int, buttonValue);
    const auto button = Qt::MouseButton(buttonValue);
    QFETCH(QPoint, moved);
    SetIpRequest request = device(staticDevice);
    std::unique_ptr<IpSet> dlg(new IpSet(&request));
    dlg->move(200, 150);
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    const QPoint start = dlg->pos();

    // A press on the dark header reaches the dialog; a move with the button held follows it.
    auto *head = child<QWidget>(dlg.get(), "wgtHead");
    const QPoint grab = head->mapTo(dlg.get(), QPoint(200, 25));
    QTest::mousePress(head, button, Qt::NoModifier, QPoint(200, 25));
    const QPoint to = grab + QPoint(30, -15);
    QMouseEvent move(QEvent::MouseMove, to, dlg->mapToGlobal(to), Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &move);
    QCOMPARE(dlg->pos(), start + moved);
    QTest::mouseRelease(head, button, Qt::NoModifier, QPoint(200, 25));
}

QTEST_MAIN(TestIpSet)
#include "tst_ipset.moc"
