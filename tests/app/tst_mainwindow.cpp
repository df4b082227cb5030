#include "devicerecord.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "language.h"
#include "lanscoutresources.h"
#include "mainwindow.h"
#include "startup.h"

#include <QAbstractItemModelTester>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTranslator>
#include <QtTest>

Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

DeviceRecord device(const QString &ipaddr)
{
    DeviceRecord rec;
    rec.version = QStringLiteral("V1.0");
    rec.ipways = QStringLiteral("static");
    rec.ipaddr = ipaddr;
    rec.mask = QStringLiteral("255.255.255.0");
    rec.gateway = QStringLiteral("198.18.0.2");
    rec.mac = QStringLiteral("00:11:22:33:44:55");
    rec.dns1 = QStringLiteral("8.8.8.8");
    rec.dns2 = QStringLiteral("8.8.4.4");
    return rec;
}

// Stands in for the browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
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

void storeLanguageId(const QString &folder, int id)
{
    QSettings settings(languageSettingsPath(folder), QSettings::IniFormat);
    settings.setValue(QStringLiteral("user_Info/languageId"), id);
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

    void frameAndLayout();
    void tableSetup();
    void details_data();
    void details();
    void detailsFollowStoredIdNotCatalogue();
    void languageChangeClearsDetails();
    void languageLabels_data();
    void languageLabels();
    void webPage_data();
    void webPage();
    void drag_data();
    void drag();
    void closeAndMinimise();
    void textsFit_data();
    void textsFit();

private:
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
    for (QTranslator *t : qApp->findChildren<QTranslator *>())
        QCoreApplication::removeTranslator(t);
    _currLangId = 0;
    m_browser.urls.clear();
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    setLanguageSettingsFolder(m_dir->path());
}

void tst_MainWindow::frameAndLayout()
{
    Fixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QCOMPARE(int(f.window.windowFlags()), 0xE801);
    QCOMPARE(f.window.size(), QSize(800, 600));
    QCOMPARE(f.window.minimumSize(), QSize(800, 600));
    QCOMPARE(f.window.maximumSize(), QSize(800, 600));
    QCOMPARE(f.child<QWidget>("wgtHead")->geometry(), QRect(0, 0, 800, 60));
    QCOMPARE(f.child<QWidget>("wgtNav")->geometry(), QRect(0, 60, 160, 535));
    QCOMPARE(f.child<QWidget>("wgtBody")->geometry(), QRect(160, 60, 640, 535));
    // The layouts give the trapezoid the whole height of the title strip.
    QCOMPARE(f.child<QWidget>("widget")->size(), QSize(200, 60));
    QCOMPARE(f.child<QWidget>("lblLogo")->size(), QSize(160, 41));
    for (const char *name : {"lblLangCh", "lblLangEn", "btnMini", "btnClose"})
        QCOMPARE(f.child<QWidget>(name)->size(), QSize(32, 32));
    QCOMPARE(f.child<QWidget>("pbtWeb")->height(), 80);
    QCOMPARE(f.child<QWidget>("label")->width(), 306);
}

void tst_MainWindow::tableSetup()
{
    Fixture f;
    QTableView *v = f.view();
    QCOMPARE(v->model(), &f.model);
    QCOMPARE(v->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(v->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(v->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(v->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(v->focusPolicy(), Qt::NoFocus);
    QVERIFY(v->alternatingRowColors());
    QVERIFY(v->verticalHeader()->isHidden());
    QCOMPARE(v->verticalHeader()->defaultSectionSize(), 40);
    QCOMPARE(v->verticalHeader()->minimumSectionSize(), 27);
    QVERIFY(v->horizontalHeader()->stretchLastSection());
    QVERIFY(!v->showGrid());
    QVERIFY(!v->isSortingEnabled());
    QCOMPARE(v->columnWidth(0), 150);
    QCOMPARE(v->columnWidth(1), 150);
    QVERIFY(v->styleSheet().contains(QLatin1String("alternate-background-color:#EEF7FE")));
}

void tst_MainWindow::details_data()
{
    QTest::addColumn<int>("stored");     // -1: no settings file
    QTest::addColumn<int>("switchedTo"); // 0: no switch in this run
    QTest::addColumn<QString>("expected");

    const QString english =
        QStringLiteral("version: V1.0\nipways: static\nipaddr: 198.18.0.50\n"
                       "mask: 255.255.255.0\ngateway: 198.18.0.2\nmac: 00:11:22:33:44:55");
    const QString russian =
        QStringLiteral("Версия ПО: V1.0\nТип IP адреса: static\nIP адрес: 198.18.0.50\n"
                       "Маска подсети: 255.255.255.0\nШлюз: 198.18.0.2\nMAC: 00:11:22:33:44:55");
    QTest::newRow("stored English") << 1 << 0 << english;
    QTest::newRow("stored Russian") << 2 << 0 << russian;
    QTest::newRow("stored Chinese: empty") << 0 << 0 << QString();
    QTest::newRow("stored out of range: empty") << 7 << 0 << QString();
    QTest::newRow("no file, no switch: empty") << -1 << 0 << QString();
    QTest::newRow("no file, switched to Russian") << -1 << 2 << russian;
}

void tst_MainWindow::details()
{
    QFETCH(int, stored);
    QFETCH(int, switchedTo);
    QFETCH(QString, expected);
    if (stored >= 0)
        storeLanguageId(m_dir->path(), stored);
    Fixture f;
    if (switchedTo)
        switchLanguage(switchedTo, f.model);
    f.add(device(QStringLiteral("198.18.0.50")));
    f.child<QTextBrowser>("tbwIpInf")->setPlainText(QStringLiteral("previous"));

    QTest::ignoreMessage(QtDebugMsg, "col:  1  row:  0");
    f.clickRow(0);
    QCOMPARE(f.details(), expected);
}

void tst_MainWindow::detailsFollowStoredIdNotCatalogue()
{
    // English stored, Russian on screen (as on a Russian system).
    storeLanguageId(m_dir->path(), 1);
    Fixture f;
    installLanguage(2, f.model);
    QTRY_COMPARE(f.child<QPushButton>("pbtWeb")->text(), QStringLiteral("WEB интерфейс"));
    f.add(device(QStringLiteral("198.18.0.50")));
    f.clickRow(0);
    QVERIFY(f.details().startsWith(QLatin1String("version: V1.0\n")));
}

void tst_MainWindow::languageChangeClearsDetails()
{
    storeLanguageId(m_dir->path(), 1);
    Fixture f;
    // Started in Russian: a click on the Russian label installs the catalogue that is already
    // in front once more, which must still re-translate the window.
    installLanguage(2, f.model);
    f.add(device(QStringLiteral("198.18.0.50")));
    f.clickRow(0);
    QVERIFY(!f.details().isEmpty());

    QTest::mouseRelease(f.child<QLabel>("lblLangCh"), Qt::LeftButton);
    QTRY_VERIFY(f.details().isEmpty());
    QCOMPARE(f.model.rowCount(), 1);
    QCOMPARE(f.model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Версия ПО "));

    f.clickRow(0);
    QVERIFY(!f.details().isEmpty());
    QTest::mouseRelease(f.child<QLabel>("lblLangEn"), Qt::LeftButton);
    QTRY_VERIFY(f.details().isEmpty());
    QCOMPARE(f.child<QPushButton>("pbtNetSet")->text(), QStringLiteral("NetWork set"));
    QCOMPARE(f.window.windowTitle(), QStringLiteral("IP Search Tool"));
}

void tst_MainWindow::languageLabels_data()
{
    QTest::addColumn<QByteArray>("label");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("id");

    QTest::newRow("Russian, left button") << QByteArray("lblLangCh") << Qt::LeftButton << 2;
    QTest::newRow("Russian, right button") << QByteArray("lblLangCh") << Qt::RightButton << 2;
    QTest::newRow("English, middle button") << QByteArray("lblLangEn") << Qt::MiddleButton << 1;
    QTest::newRow("English, right button") << QByteArray("lblLangEn") << Qt::RightButton << 1;
}

void tst_MainWindow::languageLabels()
{
    QFETCH(QByteArray, label);
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, id);
    storeLanguageId(m_dir->path(), 0);
    Fixture f;
    QLabel *target = f.child<QLabel>(label.constData());

    // A press alone switches nothing; the release does.
    QTest::mousePress(target, button);
    QCOMPARE(_currLangId, 0);
    QTest::mouseRelease(target, button);
    QCOMPARE(_currLangId, id);
    QSettings settings(languageSettingsPath(m_dir->path()), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("user_Info/languageId")).toInt(), id);
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
    QTest::newRow("host name and path") << QStringLiteral("evil.example/login") << true << QString();
    QTest::newRow("path") << QStringLiteral("1.2.3.4/x") << true << QString();
    QTest::newRow("port") << QStringLiteral("1.2.3.4:80") << true << QString();
    QTest::newRow("leading blank") << QStringLiteral(" 1.2.3.4") << true << QString();
    QTest::newRow("empty") << QString() << true << QString();
}

void tst_MainWindow::webPage()
{
    QFETCH(QString, ipaddr);
    QFETCH(bool, selectRow);
    QFETCH(QString, opened);
    Fixture f;
    f.add(device(ipaddr));
    if (selectRow)
        f.clickRow(0);
    QVERIFY(f.view()->currentIndex().isValid() == selectRow);
    if (selectRow && opened.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^web page: not opened")));

    QTest::mouseClick(f.child<QPushButton>("pbtWeb"), Qt::LeftButton);

    if (opened.isEmpty()) {
        QVERIFY(m_browser.urls.isEmpty());
    } else {
        QCOMPARE(m_browser.urls.size(), 1);
        QCOMPARE(m_browser.urls.at(0).toString(), opened);
        QCOMPARE(m_browser.urls.at(0).host(), ipaddr);
    }
}

void tst_MainWindow::drag_data()
{
    QTest::addColumn<QByteArray>("pressOn");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("moves");

    QTest::newRow("title strip") << QByteArray("wgtHead") << Qt::LeftButton << true;
    QTest::newRow("tool title") << QByteArray("label") << Qt::LeftButton << true;
    QTest::newRow("navigation background") << QByteArray("wgtNav") << Qt::LeftButton << true;
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
    const QPoint grab(10, 10);

    QTest::mousePress(target, button, {}, grab);
    // Moves go to the widget that took the press, with the pressed button held.
    const QPoint to = grab + QPoint(30, 20);
    QMouseEvent move(QEvent::MouseMove, to, target->mapToGlobal(to), Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(target, &move);

    if (moves)
        QTRY_COMPARE(f.window.pos(), start + QPoint(30, 20));
    else
        QCOMPARE(f.window.pos(), start);
    QTest::mouseRelease(target, button, {}, to);
}

void tst_MainWindow::closeAndMinimise()
{
    Fixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QTest::mouseClick(f.child<QPushButton>("btnMini"), Qt::LeftButton);
    QTRY_VERIFY(f.window.isMinimized());
    f.window.showNormal();
    QTest::mouseClick(f.child<QPushButton>("btnClose"), Qt::LeftButton);
    QTRY_VERIFY(!f.window.isVisible());
}

void tst_MainWindow::textsFit_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("English") << 1;
    QTest::newRow("Russian") << 2;
}

void tst_MainWindow::textsFit()
{
    QFETCH(int, language);
    const QFont previous = QApplication::font();
    preferFontSubstitutes();
    QApplication::setFont(applicationFont());
    const QString family = QFontInfo(QApplication::font()).family();
    if (family != QLatin1String("Microsoft YaHei") && !family.startsWith(QLatin1String("Noto Sans CJK")))
        QSKIP("neither the application font nor its preferred substitute is installed");

    Fixture f;
    installLanguage(language, f.model);
    QTRY_VERIFY(f.child<QPushButton>("pbtWeb")->text() != QStringLiteral("跳转网页"));
    for (const char *name : {"pbtWeb", "pbtNetSet"}) {
        auto *button = f.child<QPushButton>(name);
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) <= button->width(), name);
    }
    auto *title = f.child<QLabel>("label");
    QVERIFY(title->fontMetrics().horizontalAdvance(title->text()) <= title->width());
    QApplication::setFont(previous);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
