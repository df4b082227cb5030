#include "imagepreload.h"
#include "lanscoutresources.h"

#include <QImage>
#include <QPixmap>
#include <QPixmapCache>
#include <QResource>
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

class tst_Resources : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initLanScoutResources(); }
    void stored_data();
    void stored();
    void toolkitConfiguration();
    void preloaded_data();
    void preloaded();
};

void tst_Resources::stored_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size"); // invalid: not an image
    QTest::newRow("logo") << QStringLiteral(":/logo.png") << QSize(800, 267);
    QTest::newRow("Russian") << QStringLiteral(":/ru.png") << QSize(225, 225);
    QTest::newRow("English") << QStringLiteral(":/English.png") << QSize(225, 225);
    QTest::newRow("Chinese") << QStringLiteral(":/Chinese.png") << QSize(225, 225);
    QTest::newRow("minimise") << QStringLiteral(":/min.png") << QSize(44, 44);
    QTest::newRow("close") << QStringLiteral(":/close.png") << QSize(44, 44);
    QTest::newRow("toolkit configuration") << QStringLiteral(":/qt/etc/qt.conf") << QSize();
    QTest::newRow("Chinese catalogue") << QStringLiteral(":/lanScout_zh_CN.qm") << QSize();
    QTest::newRow("English catalogue") << QStringLiteral(":/lanScout_zh_EN.qm") << QSize();
    QTest::newRow("Russian catalogue") << QStringLiteral(":/lanScout_zh_RU.qm") << QSize();
}

void tst_Resources::stored()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QVERIFY(QResource(path).isValid());
    QCOMPARE(QResource(path).compressionAlgorithm(), QResource::NoCompression);
    if (size.isValid())
        QCOMPARE(QImage(path).size(), size);
}

void tst_Resources::toolkitConfiguration()
{
    // Byte for byte, CR LF included: a checkout that converts line ends would change it.
    QFile file(QStringLiteral(":/qt/etc/qt.conf"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[Platforms]\r\nWindowsArguments = dpiawareness=0\r\n"));
}

void tst_Resources::preloaded_data()
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

void tst_Resources::preloaded()
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

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
