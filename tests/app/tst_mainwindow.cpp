#include "devicerecord.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "language.h"
#include "lanscoutresources.h"
#include "mainwindow.h"
#include "modaldriver.h"
#include "mytrapezoid.h"
#include "startup.h"

#include <QAbstractItemModelTester>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
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

// The file as the toolkit writes it, with the platform's line ends.
QByteArray settingsText(const QByteArray &id)
{
#ifdef Q_OS_WIN
    const QByteArray eol("\r\n");
#else
    const QByteArray eol("\n");
#endif
    return id.isNull() ? QByteArray() : "[user_Info]" + eol + "languageId=" + id + eol;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup() { setLanguageSettingsFolder(QString()); }

    void frame();
    void details_data();
    void details();
    void languageLabels_data();
    void languageLabels();
    void settingsFile_data();
    void settingsFile();
    void catalogues_data();
    void catalogues();
    void webPage_data();
    void webPage();
    void departedDeviceIsNotActedOn_data();
    void departedDeviceIsNotActedOn();
    void drag_data();
    void drag();
    void trapezoid_data();
    void trapezoid();
    void informationOptions_data();
    void informationOptions();

private:
    QString settingsPath() const { return languageSettingsPath(m_dir->path()); }
    void storeLanguageId(const QByteArray &id);

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

void tst_MainWindow::storeLanguageId(const QByteArray &id)
{
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(settingsText(id));
}

void tst_MainWindow::frame()
{
    Fixture f;
    QCOMPARE(int(f.window.windowFlags()), 0xE801);
    QCOMPARE(f.window.minimumSize(), QSize(800, 600));
    QCOMPARE(f.window.maximumSize(), QSize(800, 600));
    // The layouts give the trapezoid the whole height of the title strip.
    QCOMPARE(f.child<QWidget>("widget")->size(), QSize(200, 60));
    // Row i of the view must stay entry i of the device list.
    QVERIFY(!f.view()->isSortingEnabled());
    // Every image the style sheets name is one that start-up decodes ahead.
    QSet<QString> named;
    const QRegularExpression url(QStringLiteral("url\\((:/[^)]+)\\)"));
    QList<QWidget *> widgets = f.window.findChildren<QWidget *>();
    widgets << &f.window;
    for (const QWidget *w : qAsConst(widgets)) {
        for (auto it = url.globalMatch(w->styleSheet()); it.hasNext();)
            named << it.next().captured(1);
    }
    const QStringList preloaded = windowImages();
    QCOMPARE(named, QSet<QString>(preloaded.begin(), preloaded.end()));
}

void tst_MainWindow::details_data()
{
    QTest::addColumn<QByteArray>("stored"); // null: no settings file
    QTest::addColumn<int>("switchedTo");    // 0: no switch in this run
    QTest::addColumn<int>("onScreen");      // catalogue installed without a switch; 0: none
    QTest::addColumn<QString>("expected");

    const QString english =
        QStringLiteral("version: V1.0\nipways: static\nipaddr: 198.18.0.50\n"
                       "mask: 255.255.255.0\ngateway: 198.18.0.2\nmac: 00:11:22:33:44:55");
    const QString russian =
        QStringLiteral("Версия ПО: V1.0\nТип IP адреса: static\nIP адрес: 198.18.0.50\n"
                       "Маска подсети: 255.255.255.0\nШлюз: 198.18.0.2\nMAC: 00:11:22:33:44:55");
    QTest::newRow("stored English") << QByteArray("1") << 0 << 0 << english;
    QTest::newRow("stored Russian") << QByteArray("2") << 0 << 0 << russian;
    QTest::newRow("stored Chinese: empty") << QByteArray("0") << 0 << 0 << QString();
    QTest::newRow("stored English, Russian on screen") << QByteArray("1") << 0 << 2 << english;
    QTest::newRow("no file, switched to Russian") << QByteArray() << 2 << 0 << russian;
}

void tst_MainWindow::details()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, switchedTo);
    QFETCH(int, onScreen);
    QFETCH(QString, expected);
    if (!stored.isNull())
        storeLanguageId(stored);
    Fixture f;
    if (switchedTo)
        switchLanguage(switchedTo, f.model);
    if (onScreen)
        installLanguage(onScreen, f.model);
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
    storeLanguageId(QByteArray::number(other));
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
        storeLanguageId(stored);
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

void tst_MainWindow::webPage_data()
{
    QTest::addColumn<QString>("ipaddr");
    QTest::addColumn<bool>("selectRow");
    QTest::addColumn<QString>("opened"); // empty: nothing may be opened

    QTest::newRow("plain address") << QStringLiteral("198.18.0.50") << true
                                   << QStringLiteral("http://198.18.0.50");
    QTest::newRow("no current row") << QStringLiteral("198.18.0.50") << false << QString();
    QTest::newRow("user part, other host") << QStringLiteral("1.2.3.4@evil.example") << true << QString();
}

void tst_MainWindow::webPage()
{
    QFETCH(QString, ipaddr);
    QFETCH(bool, selectRow);
    QFETCH(QString, opened);
    Fixture f;
    f.add(ipaddr);
    if (selectRow)
        f.clickRow(0);
    QCOMPARE(f.view()->currentIndex().isValid(), selectRow);

    QTest::mouseClick(f.child<QPushButton>("pbtWeb"), Qt::LeftButton);
    QCOMPARE(m_browser.urls, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(opened)});
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

void tst_MainWindow::trapezoid_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("topEdge");    // the top row's anti-aliased edge pixel
    QTest::addColumn<int>("bottomEdge"); // the bottom row's

    // The right edge runs from x = w - 1 at the top to x = w - 1 - 15 h' / (h' + 5) at the
    // bottom row (h' = h - 1): 185.2 for 200 x 60, 86.2 for 100 x 30.
    QTest::newRow("title strip, 200 x 60") << QSize(200, 60) << 198 << 184;
    QTest::newRow("after a resize, 100 x 30") << QSize(100, 30) << 98 << 85;
}

void tst_MainWindow::trapezoid()
{
    QFETCH(QSize, size);
    QFETCH(int, topEdge);
    QFETCH(int, bottomEdge);
    const QRgb white = qRgb(255, 255, 255);
    const QRgb dark = qRgb(0x0C, 0x1D, 0x3C);
    MyTrapezoid trapezoid;
    trapezoid.resize(size * 2); // painted for the current size every time
    trapezoid.resize(size);
    QImage image(size, QImage::Format_RGB32);
    image.fill(dark); // the title strip behind the widget
    trapezoid.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    // Each row: white, one anti-aliased edge pixel (mostly white), then the background; on the
    // bottom row a second edge pixel (mostly background) comes before it.
    const int bottom = size.height() - 1;
    const auto mostlyWhite = [&](int x, int y) { return qRed(image.pixel(x, y)) > 192; };
    QCOMPARE(image.pixel(topEdge - 1, 0), white);
    QVERIFY(image.pixel(topEdge, 0) != white && mostlyWhite(topEdge, 0));
    QCOMPARE(image.pixel(topEdge + 1, 0), dark);
    QCOMPARE(image.pixel(bottomEdge - 1, bottom), white);
    QVERIFY(image.pixel(bottomEdge, bottom) != white && mostlyWhite(bottomEdge, bottom));
    QVERIFY(!mostlyWhite(bottomEdge + 1, bottom));
    QCOMPARE(image.pixel(bottomEdge + 2, bottom), dark);
    // The left column is white from top to bottom: the clipped bottom edge never shows.
    for (int y = 0; y <= bottom; ++y)
        QCOMPARE(image.pixel(0, y), white);
}

void tst_MainWindow::informationOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("answerStart");
    const QString usage = QStringLiteral("Usage: lanScout");
    const QString version = QStringLiteral("lanScout 1.");
    QTest::newRow("none: the program starts") << QStringList() << QString();
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << usage;
    QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << usage;
    QTest::newRow("-?") << QStringList{QStringLiteral("-?")} << usage;
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << version;
    QTest::newRow("-v after another argument")
        << QStringList{QStringLiteral("-style"), QStringLiteral("-v")} << version;
    QTest::newRow("unknown: left alone, the program starts")
        << QStringList{QStringLiteral("--helpme")} << QString();
}

void tst_MainWindow::informationOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, answerStart);
    // The first argument is the program itself, even when it is called "--help".
    const QString answer = informationAnswer(QStringList{QStringLiteral("--help")} + arguments);
    QCOMPARE(answer.left(answerStart.size()), answerStart);
    QCOMPARE(answer.isEmpty(), answerStart.isEmpty());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
