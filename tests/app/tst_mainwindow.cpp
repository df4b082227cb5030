#include "devicerecord.h"
#include "floodgen.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "language.h"
#include "lanscoutresources.h"
#include "mainwindow.h"
#include "modaldriver.h"
#include "settingsfile.h"
#include "startup.h"

#include <QAbstractItemModelTester>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTranslator>
#include <QtTest>

Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

// Stands in for the browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

struct LanguageChangeCounter : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::LanguageChange;
        return false;
    }
};

// One window with its own list and model, fed on the GUI thread.
struct Fixture
{
    IpItemMode model;
    IpList list{model};
    QAbstractItemModelTester tester{&model};
    mainWindow window{list, model};

    Fixture()
    {
        window.move(100, 100);
        window.show();
    }
    void add(const QString &ipaddr, const QString &mac = QStringLiteral("00:11:22:33:44:55"), quint32 cnt = 0)
    {
        DeviceRecord rec;
        rec.version = QStringLiteral("V1.0");
        rec.ipways = QStringLiteral("static");
        rec.ipaddr = ipaddr;
        rec.mask = QStringLiteral("255.255.255.0");
        rec.gateway = QStringLiteral("198.18.0.2");
        rec.mac = mac;
        rec.cnt = cnt;
        list.mergeDevice(rec);
        list.applyPendingChanges();
    }
    template <typename T> T *child(const char *name) { return window.findChild<T *>(QLatin1String(name)); }
    QTableView *view() { return child<QTableView>("tvwIplist"); }
    QString details() { return child<QTextBrowser>("tbwIpInf")->toPlainText(); }
    void clickRow(int row)
    {
        QTableView *v = view();
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(model.index(row, 1)).center());
    }
};

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup() { setLanguageSettingsFolder(QString()); }

    void details_data();
    void details();
    void languageLabels_data();
    void languageLabels();
    void shownAsPlainText_data();
    void shownAsPlainText();
    void departedDeviceIsNotActedOn_data();
    void departedDeviceIsNotActedOn();
    void drag_data();
    void drag();

private:
    QString settingsPath() const { return languageSettingsPath(m_dir->path()); }
    void writeSettings(const QByteArray &text);

    QScopedPointer<QTemporaryDir> m_dir;
    UrlCatcher m_browser;
};

void tst_MainWindow::initTestCase()
{
    initLanScoutResources();
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_browser, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_browser, "open");
}

void tst_MainWindow::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void tst_MainWindow::init()
{
    // No catalogue installed, id 0 and an empty settings folder of its own.
    for (QTranslator *t : qApp->findChildren<QTranslator *>())
        QCoreApplication::removeTranslator(t);
    _currLangId = 0;
    m_browser.urls.clear();
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    setLanguageSettingsFolder(m_dir->path());
}

void tst_MainWindow::writeSettings(const QByteArray &text)
{
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void tst_MainWindow::details_data()
{
    QTest::addColumn<QByteArray>("file"); // null: no settings file
    QTest::addColumn<int>("shown");       // the catalogue installed at start-up
    QTest::addColumn<int>("switchedTo");  // a flag clicked afterwards; 0: none
    QTest::addColumn<QString>("expected");

    const QString english =
        QStringLiteral("version: V1.0\nipways: static\nipaddr: 198.18.0.50\n"
                       "mask: 255.255.255.0\ngateway: 198.18.0.2\nmac: 00:11:22:33:44:55");
    const QString russian =
        QStringLiteral("Версия ПО: V1.0\nТип IP адреса: static\nIP адрес: 198.18.0.50\n"
                       "Маска подсети: 255.255.255.0\nШлюз: 198.18.0.2\nMAC: 00:11:22:33:44:55");
    const int en = Language::English, ru = Language::Russian;
    // A stored 1 or 2 names the labels, whatever the window shows.
    QTest::newRow("stored English, Chinese shown") << settingsText("1") << 0 << 0 << english;
    QTest::newRow("stored Russian, English shown") << settingsText("2") << en << 0 << russian;
    QTest::newRow("stored English, Russian shown") << settingsText("1") << ru << 0 << english;
    // Any other id, as on every fresh installation: the labels of the language shown.
    QTest::newRow("no file, started in English") << QByteArray() << en << 0 << english;
    QTest::newRow("no file, started in Russian") << QByteArray() << ru << 0 << russian;
    QTest::newRow("stored Chinese, Russian shown") << settingsText("0") << ru << 0 << russian;
    QTest::newRow("stored 5, Russian shown") << settingsText("5") << ru << 0 << russian;
    QTest::newRow("stored text, English shown") << settingsText("abc") << en << 0 << english;
    QTest::newRow("portable file without an id") << QByteArray("[user_Info]\r\n") << ru << 0 << russian;
    QTest::newRow("Chinese catalogue shown") << QByteArray() << int(Language::Chinese) << 0 << english;
    // A flag makes its language the current id.
    QTest::newRow("no file, switched to Russian") << QByteArray() << en << ru << russian;
    QTest::newRow("stored Chinese, switched to English") << settingsText("0") << ru << en << english;
}

void tst_MainWindow::details()
{
    QFETCH(QByteArray, file);
    QFETCH(int, shown);
    QFETCH(int, switchedTo);
    QFETCH(QString, expected);
    if (!file.isNull())
        writeSettings(file);
    Fixture f;
    installLanguage(shown, f.model);
    if (switchedTo)
        switchLanguage(switchedTo, f.model);
    f.add(QStringLiteral("198.18.0.50"));
    f.child<QTextBrowser>("tbwIpInf")->setPlainText(QStringLiteral("previous"));
    f.clickRow(0);
    QCOMPARE(f.details(), expected);
}

void tst_MainWindow::languageLabels_data()
{
    QTest::addColumn<QByteArray>("label");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("id");
    QTest::newRow("Russian, left button") << QByteArray("lblLangCh") << Qt::LeftButton << 2;
    QTest::newRow("Russian, right button") << QByteArray("lblLangCh") << Qt::RightButton << 2;
    QTest::newRow("English, middle button") << QByteArray("lblLangEn") << Qt::MiddleButton << 1;
}

void tst_MainWindow::languageLabels()
{
    QFETCH(QByteArray, label);
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, id);
    const int other = 3 - id;
    writeSettings(settingsText(QByteArray::number(other)));
    Fixture f;
    // Started in the label's language: the switch installs the catalogue that is already in
    // front once more, which must still re-translate the window.
    installLanguage(id, f.model);
    QCoreApplication::processEvents();
    f.add(QStringLiteral("198.18.0.50"));
    f.clickRow(0);
    QVERIFY(!f.details().isEmpty());
    LanguageChangeCounter counter;
    f.window.installEventFilter(&counter);
    QLabel *target = f.child<QLabel>(label.constData());

    QTest::mousePress(target, button);
    QCOMPARE(_currLangId, other); // the release switches, not the press
    QTest::mouseRelease(target, button);
    QCOMPARE(_currLangId, id);
    QCOMPARE(readFile(settingsPath()), settingsText(QByteArray::number(id)));
    QTRY_VERIFY(f.details().isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(counter.count, 1);
}

// What the details panel and the web button make of a device: its texts as plain text, whatever
// markup, control characters, direction overrides or length they hold, and the browser handed
// "http://" and a plain address only.
void tst_MainWindow::shownAsPlainText_data()
{
    QTest::addColumn<DeviceRecord>("rec");
    QTest::addColumn<bool>("selectRow");
    QTest::addColumn<QStringList>("opened"); // what the web button hands to the browser

    const auto everyField = [](const QString &text) {
        return DeviceRecord{text, text, text, text, text, text, text, text, text, 0};
    };
    const QStringList none;
    DeviceRecord plain = everyField(QStringLiteral("<b>x</b><img src=x>"));
    plain.ipaddr = QStringLiteral("198.18.0.9");
    QTest::newRow("markup around a plain address")
        << plain << true << QStringList{QStringLiteral("http://198.18.0.9")};
    QTest::newRow("no current row") << plain << false << none;
    QTest::newRow("user part, other host")
        << everyField(QStringLiteral("1.2.3.4@evil.example")) << true << none;
    QTest::newRow("link, entities, script")
        << everyField(QStringLiteral("<a href=\"http://198.18.0.9/\">&amp;&lt;</a><script>alert(1)</script>"))
        << true << none;
    QTest::newRow("a line of its own")
        << everyField(QStringLiteral("V1\nmac: 02:00:00:00:00:01")) << true << none;
    QTest::newRow("as long as a datagram")
        << everyField(QString(flood::MaxDatagram - 20, QLatin1Char('<'))) << true << none;
    // The replies of the hostile flood, as the program parses them.
    const QRegularExpression cleanAddress(QStringLiteral("^198\\.18\\.0\\.[0-9]+$"));
    for (const DeviceRecord &rec : flood::hostileDevices())
        QTest::newRow(qPrintable(QStringLiteral("flood reply ") + rec.mac))
            << rec << true
            << (cleanAddress.match(rec.ipaddr).hasMatch()
                    ? QStringList{QStringLiteral("http://") + rec.ipaddr}
                    : none);
}

void tst_MainWindow::shownAsPlainText()
{
    QFETCH(DeviceRecord, rec);
    QFETCH(bool, selectRow);
    QFETCH(QStringList, opened);
    writeSettings(settingsText("1")); // English labels
    Fixture f;
    f.list.mergeDevice(rec);
    f.list.applyPendingChanges();
    if (selectRow) {
        f.clickRow(0);
        // The panel holds lines, not line-end bytes: a CR LF or a lone CR in a field reads back as LF.
        QString expected = QStringLiteral("version: ") + rec.version + QStringLiteral("\nipways: ") +
                           rec.ipways + QStringLiteral("\nipaddr: ") + rec.ipaddr +
                           QStringLiteral("\nmask: ") + rec.mask + QStringLiteral("\ngateway: ") +
                           rec.gateway + QStringLiteral("\nmac: ") + rec.mac;
        expected.replace(QLatin1String("\r\n"), QLatin1String("\n"))
            .replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QCOMPARE(f.details(), expected);
        const QString html = f.child<QTextBrowser>("tbwIpInf")->toHtml();
        for (const char *tag : {"<b>", "<img", "<a ", "<script"})
            QVERIFY2(!html.contains(QLatin1String(tag)), tag);
    }
    QTest::mouseClick(f.child<QPushButton>("pbtWeb"), Qt::LeftButton);
    QStringList urls;
    for (const QUrl &url : qAsConst(m_browser.urls))
        urls << url.toString();
    QCOMPARE(urls, opened);
}

void tst_MainWindow::departedDeviceIsNotActedOn_data()
{
    QTest::addColumn<int>("row"); // of three: the selected device, which ages out
    QTest::addColumn<QByteArray>("button");
    for (const char *button : {"pbtWeb", "pbtNetSet"}) {
        QTest::addRow("first of three, %s", button) << 0 << QByteArray(button);
        QTest::addRow("middle of three, %s", button) << 1 << QByteArray(button);
        QTest::addRow("last of three, %s", button) << 2 << QByteArray(button);
    }
}

// The selected device leaves the list: the view would make a neighbour current, and the
// buttons would then act on a device the user never chose.
void tst_MainWindow::departedDeviceIsNotActedOn()
{
    QFETCH(int, row);
    QFETCH(QByteArray, button);
    Fixture f;
    for (int i = 0; i < 3; ++i)
        f.add(QStringLiteral("198.18.0.%1").arg(10 + i), QStringLiteral("00:11:22:33:44:0%1").arg(i), 1);
    f.clickRow(row);
    QCOMPARE(f.view()->currentIndex().row(), row);
    const QString details = f.details();
    for (int i = 0; i < 3; ++i) {
        if (i != row)
            f.add(QStringLiteral("198.18.0.%1").arg(10 + i), QStringLiteral("00:11:22:33:44:0%1").arg(i), 5);
    }
    f.list.ageDevices(5);
    f.list.applyPendingChanges();
    QCOMPARE(f.model.rowCount(), 2);

    QVERIFY(!f.view()->currentIndex().isValid());
    QVERIFY(!f.view()->selectionModel()->hasSelection());
    QCOMPARE(f.details(), details);
    ModalDriver driver({}, 1000); // rejects a dialog opened by mistake
    QTest::mouseClick(f.child<QPushButton>(button.constData()), Qt::LeftButton);
    QVERIFY(!driver.sawModal());
    QVERIFY(!f.list.takeSetIpRequest());
    QCOMPARE(m_browser.urls, QList<QUrl>());
    // A click on a row makes that one current again.
    f.clickRow(1);
    QCOMPARE(f.view()->currentIndex().row(), 1);
}

void tst_MainWindow::drag_data()
{
    QTest::addColumn<QByteArray>("pressOn");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("moves");

    QTest::newRow("title strip") << QByteArray("wgtHead") << Qt::LeftButton << true;
    QTest::newRow("right button") << QByteArray("wgtHead") << Qt::RightButton << false;
    QTest::newRow("push button") << QByteArray("pbtWeb") << Qt::LeftButton << false;
}

void tst_MainWindow::drag()
{
    QFETCH(QByteArray, pressOn);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, moves);
    Fixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    const QPoint start = f.window.pos();
    QWidget *target = f.child<QWidget>(pressOn.constData());
    const QPoint grab(10, 10), to(40, 30);

    QTest::mousePress(target, button, {}, grab);
    // Moves go to the widget that took the press, with the pressed button held.
    QMouseEvent move(QEvent::MouseMove, to, target->mapToGlobal(to), Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QTRY_COMPARE(f.window.pos(), moves ? start + to - grab : start);
    QTest::mouseRelease(target, button, {}, to);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
