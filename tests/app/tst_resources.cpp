#include "lanscoutresources.h"

#include <QImage>
#include <QResource>
#include <QTranslator>
#include <QtTest>

class tst_Resources : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initLanScoutResources(); }
    void toolkitConfiguration();
    void images_data();
    void images();
    void catalogues_data();
    void catalogues();
};

void tst_Resources::toolkitConfiguration()
{
    // Byte for byte, CR LF included: a checkout that converts line ends would change it.
    QFile file(QStringLiteral(":/qt/etc/qt.conf"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QCOMPARE(content.size(), 48);
    QCOMPARE(content, QByteArray("[Platforms]\r\nWindowsArguments = dpiawareness=0\r\n"));
    QCOMPARE(QResource(QStringLiteral(":/qt/etc/qt.conf")).compressionAlgorithm(), QResource::NoCompression);
}

void tst_Resources::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("logo") << QStringLiteral(":/logo.png") << QSize(800, 267);
    QTest::newRow("Russian") << QStringLiteral(":/ru.png") << QSize(225, 225);
    QTest::newRow("English") << QStringLiteral(":/English.png") << QSize(225, 225);
    QTest::newRow("Chinese") << QStringLiteral(":/Chinese.png") << QSize(225, 225);
    QTest::newRow("minimise") << QStringLiteral(":/min.png") << QSize(44, 44);
    QTest::newRow("close") << QStringLiteral(":/close.png") << QSize(44, 44);
}

void tst_Resources::images()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    QCOMPARE(QResource(path).compressionAlgorithm(), QResource::NoCompression);
}

void tst_Resources::catalogues_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");

    const QString cn = QStringLiteral(":/lanScout_zh_CN.qm");
    const QString en = QStringLiteral(":/lanScout_zh_EN.qm");
    const QString ru = QStringLiteral(":/lanScout_zh_RU.qm");
    QTest::newRow("Chinese title") << cn << QByteArray("mainWindow") << QStringLiteral("QX IP Search Tool")
                                   << QStringLiteral("IP搜索工具");
    QTest::newRow("Chinese header") << cn << QByteArray("QObject") << QStringLiteral("版本号")
                                    << QStringLiteral("版本号");
    QTest::newRow("English button") << en << QByteArray("mainWindow") << QStringLiteral("网络设置")
                                    << QStringLiteral("NetWork set");
    QTest::newRow("English has no header entries")
        << en << QByteArray("QObject") << QStringLiteral("版本号") << QString();
    QTest::newRow("Russian button") << ru << QByteArray("mainWindow") << QStringLiteral("跳转网页")
                                    << QStringLiteral("WEB интерфейс");
    QTest::newRow("Russian header") << ru << QByteArray("QObject") << QStringLiteral("Mac")
                                    << QStringLiteral("MAC адрес");
}

void tst_Resources::catalogues()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, context);
    QFETCH(QString, source);
    QFETCH(QString, translation);
    QTranslator translator;
    QVERIFY(translator.load(path));
    QCOMPARE(translator.translate(context.constData(), source.toUtf8().constData()), translation);
    QCOMPARE(QResource(path).compressionAlgorithm(), QResource::NoCompression);
}

QTEST_GUILESS_MAIN(tst_Resources)
#include "tst_resources.moc"
