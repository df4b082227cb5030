#include "lanscoutresources.h"

#include <QImage>
#include <QResource>
#include <QtTest>

class tst_Resources : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initLanScoutResources(); }
    void stored_data();
    void stored();
    void toolkitConfiguration();
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

QTEST_GUILESS_MAIN(tst_Resources)
#include "tst_resources.moc"
