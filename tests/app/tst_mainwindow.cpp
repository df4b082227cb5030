// The main window, and the interface language it shows: the catalogues installed, the id the
// settings file stores and reads, the labels of the details panel.

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

DeviceRecord device(const QString &ipaddr, const QString &mac = QStringLiteral("00:11:22:33:44:55"),
                    quint32 cnt = 0)
{
    DeviceRecord rec;
    rec.version = QStringLiteral("V1.0"), rec.ipways = QStringLiteral("static"), rec.ipaddr = ipaddr;
    rec.mask = QStringLiteral("255.255.255.0"), rec.gateway = QStringLiteral("198.18.0.2");
    rec.mac = mac, rec.cnt = cnt;
    return rec;
}

// What the details panel shows for a device, with the labels of Language::English or Russian.
QString detailsOf(const DeviceRecord &rec, int labels)
{
    const QString text = labels == Language::Russian
                             ? QStringLiteral("Версия ПО: %1\nТип IP адреса: %2\n"
                                              "IP адрес: %3\nМаска подсети: %4\nШлюз: %5\nMAC: %6")
                             : QStringLiteral("version: %1\nipways: %2\nipaddr: %3\n"
                                              "mask: %4\ngateway: %5\nmac: %6");
    return text.arg(rec.version, rec.ipways, rec.ipaddr, rec.mask, rec.gateway, rec.mac);
}

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
    void add(const DeviceRecord &rec)
    {
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

    void settingsFile_data();
    void settingsFile();
    void catalogues_data();
    void catalogues();
    void details_data();
    void details();
    void languageLabels_data();
    void languageLabels();
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

void tst_MainWindow::settingsFile_data()
{
    QTest::addColumn<QByteArray>("stored"); // null: no settings file
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("switchTo"); // -9: only read the file
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("written"); // false: the file is left byte for byte

    const int read = -9;
    QTest::newRow("read: no file keeps the current id") << QByteArray() << 2 << read << 2 << false;
    QTest::newRow("read: stored 0 overrides") << QByteArray("0") << 2 << read << 0 << false;
    QTest::newRow("read: out of range") << QByteArray("5") << 1 << read << 0 << false;
    QTest::newRow("read: negative") << QByteArray("-1") << 1 << read << 0 << false;
    QTest::newRow("read: not a number") << QByteArray("ru") << 1 << read << 0 << false;
    QTest::newRow("switch: no file, none created") << QByteArray() << 0 << 1 << 1 << false;
    QTest::newRow("switch: stored") << QByteArray("2") << 2 << 1 << 1 << true;
    QTest::newRow("switch: same id does nothing") << QByteArray("0") << 2 << 2 << 2 << false;
    QTest::newRow("switch: id 3 refused") << QByteArray("0") << 1 << 3 << 1 << false;
    QTest::newRow("switch: negative id refused") << QByteArray("0") << 1 << -1 << 1 << false;
}

void tst_MainWindow::settingsFile()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, current);
    QFETCH(int, switchTo);
    QFETCH(int, expected);
    QFETCH(bool, written);
    if (!stored.isNull())
        writeSettings(settingsText(stored));
    _currLangId = current;
    IpItemMode model;

    if (switchTo == -9)
        QCOMPARE(readLanguageId(), expected);
    else
        switchLanguage(switchTo, model);
    QCOMPARE(_currLangId, expected);
    QCOMPARE(QFile::exists(settingsPath()), !stored.isNull());
    QCOMPARE(readFile(settingsPath()), settingsText(written ? QByteArray::number(expected) : stored));
}

void tst_MainWindow::catalogues_data()
{
    QTest::addColumn<QString>("locale"); // of the start language; empty: none
    QTest::addColumn<QList<int>>("ids"); // then installed in this order
    QTest::addColumn<QString>("texts");  // the header, the network button, the title

    const QString english = QStringLiteral("Version |IP |Mac |NetWork set|IP Search Tool");
    const QString none;
    QTest::newRow("start on a Russian system")
        << QStringLiteral("ru_RU") << QList<int>{}
        << QStringLiteral("Версия ПО |IP адрес |MAC адрес |Настройки сети|IP Search Tool");
    QTest::newRow("start on a Chinese system: English") << QStringLiteral("zh_CN") << QList<int>{} << english;
    QTest::newRow("English again after Russian") << none << QList<int>{1, 2, 1} << english;
    QTest::newRow("Chinese after Russian")
        << none << QList<int>{2, 0} << QStringLiteral("版本号|IP|Mac|网络设置|IP搜索工具");
    QTest::newRow("unknown id leaves it") << none << QList<int>{1, 3} << english;
}

void tst_MainWindow::catalogues()
{
    QFETCH(QString, locale);
    QFETCH(QList<int>, ids);
    QFETCH(QString, texts);
    IpItemMode model;
    QAbstractItemModelTester tester(&model);
    if (!locale.isEmpty())
        installStartLanguage(QLocale(locale), model);
    for (int id : ids)
        installLanguage(id, model);
    // A second round reuses one translator per language.
    const int translators = qApp->findChildren<QTranslator *>().size();
    for (int id : ids)
        installLanguage(id, model);
    QCOMPARE(qApp->findChildren<QTranslator *>().size(), translators);

    QStringList shown;
    for (int column = 0; column < model.columnCount(); ++column)
        shown << model.headerData(column, Qt::Horizontal).toString();
    shown << QCoreApplication::translate("mainWindow", "网络设置")
          << QCoreApplication::translate("mainWindow", "QX IP Search Tool");
    QCOMPARE(shown.join(QLatin1Char('|')), texts);
    // Installing, the start language included, neither records nor stores the id.
    QCOMPARE(_currLangId, 0);
    QVERIFY(!QFile::exists(settingsPath()));
}

// What the details panel and the web button make of a device. The panel's labels follow the
// stored language id, or the language shown; a device's texts are shown as plain text, whatever
// markup, control characters, direction overrides or length they hold, and the browser is handed
// "http://" and a plain address only.
void tst_MainWindow::details_data()
{
    QTest::addColumn<QByteArray>("file"); // null: no settings file
    QTest::addColumn<int>("shown");       // the catalogue installed at start-up
    QTest::addColumn<int>("switchedTo");  // a flag clicked afterwards; 0: none
    QTest::addColumn<DeviceRecord>("rec");
    QTest::addColumn<int>("labels");         // of the panel; -1: no row clicked
    QTest::addColumn<QStringList>("opened"); // what the web button hands to the browser

    const int en = Language::English, ru = Language::Russian;
    const auto language = [](const char *name, const QByteArray &file, int shown, int switchedTo,
                             int labels) {
        QTest::newRow(name) << file << shown << switchedTo << device(QStringLiteral("198.18.0.50")) << labels
                            << QStringList{QStringLiteral("http://198.18.0.50")};
    };
    // A stored 1 or 2 names the labels, whatever the window shows.
    language("stored English, Chinese shown", settingsText("1"), 0, 0, en);
    language("stored Russian, English shown", settingsText("2"), en, 0, ru);
    language("stored English, Russian shown", settingsText("1"), ru, 0, en);
    // Any other id, as on every fresh installation: the labels of the language shown.
    language("no file, started in English", QByteArray(), en, 0, en);
    language("no file, started in Russian", QByteArray(), ru, 0, ru);
    language("stored Chinese, Russian shown", settingsText("0"), ru, 0, ru);
    language("portable file without an id", QByteArray("[user_Info]\r\n"), ru, 0, ru);
    language("Chinese catalogue shown", QByteArray(), Language::Chinese, 0, en);
    // A flag makes its language the current id.
    language("no file, switched to Russian", QByteArray(), en, ru, ru);
    language("stored Chinese, switched to English", settingsText("0"), ru, en, en);

    const auto plain = [](const char *name, const DeviceRecord &rec, const QStringList &opened, int labels) {
        QTest::newRow(name) << settingsText("1") << int(Language::English) << 0 << rec << labels << opened;
    };
    const auto everyField = [](const QString &text) {
        return DeviceRecord{text, text, text, text, text, text, text, text, text, 0};
    };
    const QStringList none;
    DeviceRecord markup = everyField(QStringLiteral("<b>x</b><img src=x>"));
    markup.ipaddr = QStringLiteral("198.18.0.9");
    plain("markup around a plain address", markup, {QStringLiteral("http://198.18.0.9")}, en);
    plain("no current row", markup, none, -1);
    plain("user part, other host", everyField(QStringLiteral("1.2.3.4@evil.example")), none, en);
    plain("link, entities, script",
          everyField(QStringLiteral("<a href=\"http://198.18.0.9/\">&amp;&lt;</a><script>alert(1)</script>")),
          none, en);
    plain("a line of its own", everyField(QStringLiteral("V1\nmac: 02:00:00:00:00:01")), none, en);
    plain("as long as a datagram", everyField(QString(flood::MaxDatagram - 20, QLatin1Char('<'))), none, en);
    // The replies of the hostile flood, as the program parses them.
    const QRegularExpression cleanAddress(QStringLiteral("^198\\.18\\.0\\.[0-9]+$"));
    for (const DeviceRecord &rec : flood::hostileDevices())
        plain(qPrintable(QStringLiteral("flood reply ") + rec.mac), rec,
              cleanAddress.match(rec.ipaddr).hasMatch() ? QStringList{QStringLiteral("http://") + rec.ipaddr}
                                                        : none,
              en);
}

void tst_MainWindow::details()
{
    QFETCH(QByteArray, file);
    QFETCH(int, shown);
    QFETCH(int, switchedTo);
    QFETCH(DeviceRecord, rec);
    QFETCH(int, labels);
    QFETCH(QStringList, opened);
    if (!file.isNull())
        writeSettings(file);
    Fixture f;
    installLanguage(shown, f.model);
    if (switchedTo)
        switchLanguage(switchedTo, f.model);
    f.add(rec);
    QTextBrowser *panel = f.child<QTextBrowser>("tbwIpInf");
    panel->setPlainText(QStringLiteral("previous"));
    if (labels >= 0) {
        f.clickRow(0);
        // The panel holds lines, not line-end bytes: a CR LF or a lone CR in a field reads back as LF.
        QCOMPARE(f.details(), detailsOf(rec, labels)
                                  .replace(QLatin1String("\r\n"), QLatin1String("\n"))
                                  .replace(QLatin1Char('\r'), QLatin1Char('\n')));
        for (const char *tag : {"<b>", "<img", "<a ", "<script"})
            QVERIFY2(!panel->toHtml().contains(QLatin1String(tag)), tag);
    }
    QTest::mouseClick(f.child<QPushButton>("pbtWeb"), Qt::LeftButton);
    QStringList urls;
    for (const QUrl &url : qAsConst(m_browser.urls))
        urls << url.toString();
    QCOMPARE(urls, opened);
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
    f.add(device(QStringLiteral("198.18.0.50")));
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

void tst_MainWindow::departedDeviceIsNotActedOn_data()
{
    QTest::addColumn<int>("row"); // of three: the selected device, which ages out
    QTest::addColumn<QByteArray>("button");
    for (const char *button : {"pbtWeb", "pbtNetSet"}) {
        for (int row = 0; row < 3; ++row)
            QTest::addRow("%s of three, %s", row ? row == 1 ? "middle" : "last" : "first", button)
                << row << QByteArray(button);
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
        f.add(device(QStringLiteral("198.18.0.1%1").arg(i), QStringLiteral("00:11:22:33:44:0%1").arg(i), 1));
    f.clickRow(row);
    QCOMPARE(f.view()->currentIndex().row(), row);
    const QString details = f.details();
    for (int i : {(row + 1) % 3, (row + 2) % 3}) // the other two answer again
        f.add(device(QStringLiteral("198.18.0.1%1").arg(i), QStringLiteral("00:11:22:33:44:0%1").arg(i), 5));
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
