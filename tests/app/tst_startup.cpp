// What start-up takes from the program itself: the compiled-in resources, the images decoded
// ahead for the window, the answers to --help and --version.

#include "imagepreload.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "lanscoutresources.h"
#include "mainwindow.h"
#include "startup.h"

#include <QDirIterator>
#include <QImage>
#include <QPixmap>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QResource>
#include <QSettings>
#include <QtTest>

namespace {

// What the toolkit's own reader makes of the file, in the form pixmaps keep.
QImage referenceImage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    return QImage::fromData(file.readAll(), "PNG").convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage pixmapImage(const QString &path)
{
    const QPixmap pixmap(path);
    return pixmap.isNull() ? QImage() : pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initLanScoutResources(); }
    void storedWhole();
    void windowImagesDecodedAhead();
    void preloaded_data();
    void preloaded();
    void informationOptions_data();
    void informationOptions();
    void installedFamily_data();
    void installedFamily();
};

void tst_Startup::storedWhole()
{
    // Every resource stored uncompressed (the program's own lie at the root; the toolkit's deeper),
    // every image readable as the window reads it.
    QStringList paths{QStringLiteral(":/qt/etc/qt.conf")};
    for (QDirIterator it(QStringLiteral(":/"), QDir::Files); it.hasNext();)
        paths << it.next();
    int files = 0;
    for (const QString &path : qAsConst(paths)) {
        ++files;
        QVERIFY2(QResource(path).compressionAlgorithm() == QResource::NoCompression, qPrintable(path));
        if (path.endsWith(QLatin1String(".png")))
            QVERIFY2(!QImage(path).isNull(), qPrintable(path));
    }
    QVERIFY(files >= 10); // seven images and configuration, three catalogues
    // The toolkit's configuration as it reads it: on Windows the process is DPI-unaware (the
    // Windows tests show what that does to the windows).
    const QSettings configuration(paths.first(), QSettings::IniFormat);
    QCOMPARE(configuration.value(QStringLiteral("Platforms/WindowsArguments")).toString(),
             QStringLiteral("dpiawareness=0"));
}

void tst_Startup::windowImagesDecodedAhead()
{
    // Every image the window's style sheets name is one that start-up decodes ahead.
    IpItemMode model;
    IpList list(model);
    mainWindow window(list, model);
    QSet<QString> named;
    const QRegularExpression url(QStringLiteral("url\\((:/[^)]+)\\)"));
    QList<QWidget *> widgets = window.findChildren<QWidget *>();
    widgets << &window;
    for (const QWidget *w : qAsConst(widgets)) {
        for (auto it = url.globalMatch(w->styleSheet()); it.hasNext();)
            named << it.next().captured(1);
    }
    const QStringList preloaded = windowImages();
    QCOMPARE(named, QSet<QString>(preloaded.begin(), preloaded.end()));
}

void tst_Startup::preloaded_data()
{
    QTest::addColumn<QStringList>("preload");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("image");
    const QString logo = QStringLiteral(":/logo.png");
    const QString flag = QStringLiteral(":/ru.png");
    QTest::newRow("preloaded") << QStringList{logo, flag} << logo << true;
    QTest::newRow("another one preloaded") << QStringList{logo, flag} << flag << true;
    QTest::newRow("not preloaded") << QStringList{logo} << QStringLiteral(":/Chinese.png") << true;
    QTest::newRow("missing file") << QStringList{QStringLiteral(":/none.png")} << QStringLiteral(":/none.png")
                                  << false;
}

void tst_Startup::preloaded()
{
    QFETCH(QStringList, preload);
    QFETCH(QString, path);
    QFETCH(bool, image);
    const QImage expected = referenceImage(path);
    QCOMPARE(!expected.isNull(), image);

    QPixmapCache::clear(); // a cached pixmap would not be read again
    preloadImages(preload);
    QCOMPARE(pixmapImage(path), expected);
    // Read again, after the preloaded image has been handed out: the usual way, same pixels.
    QPixmapCache::clear();
    QCOMPARE(pixmapImage(path), expected);
}

void tst_Startup::informationOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("answerStart");
    const QString usage = QStringLiteral("Usage: lanScout");
    const QString version = QStringLiteral("lanScout 1.");
    QTest::newRow("none: the program starts") << QStringList() << QString();
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << usage;
    QTest::newRow("-?") << QStringList{QStringLiteral("-?")} << usage;
    QTest::newRow("-v after another argument")
        << QStringList{QStringLiteral("-style"), QStringLiteral("-v")} << version;
    QTest::newRow("unknown: left alone, the program starts")
        << QStringList{QStringLiteral("--helpme")} << QString();
}

void tst_Startup::informationOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, answerStart);
    // The first argument is the program itself, even when it is called "--help".
    const QString answer = informationAnswer(QStringList{QStringLiteral("--help")} + arguments);
    QCOMPARE(answer.left(answerStart.size()), answerStart);
    QCOMPARE(answer.isEmpty(), answerStart.isEmpty());
}

void tst_Startup::installedFamily_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("face");
    QTest::newRow("wanted installed: kept")
        << QStringList{QStringLiteral("Wanted"), QStringLiteral("Condensed")} << QStringLiteral("Wanted");
    QTest::newRow("wanted installed, other case")
        << QStringList{QStringLiteral("wanted")} << QStringLiteral("Wanted");
    QTest::newRow("missing: the first substitute installed, in the substitutes' order")
        << QStringList{QStringLiteral("Han SC"), QStringLiteral("CJK SC")} << QStringLiteral("CJK SC");
    QTest::newRow("missing, substitute in other case: the substitute as named")
        << QStringList{QStringLiteral("condensed")} << QStringLiteral("Condensed");
    QTest::newRow("nothing installed: wanted, the toolkit picks")
        << QStringList{QStringLiteral("Other")} << QStringLiteral("Wanted");
}

void tst_Startup::installedFamily()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, face);
    const QStringList substitutes{QStringLiteral("Condensed"), QStringLiteral("CJK SC"),
                                  QStringLiteral("Han SC")};
    QCOMPARE(::installedFamily(QStringLiteral("Wanted"), substitutes, installed), face);
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
