// The interface language: the catalogues installed, the id the settings file stores and reads.

#include "ipitemmode.h"
#include "language.h"
#include "lanscoutresources.h"
#include "settingsfile.h"
#include "startup.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

class tst_Language : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initLanScoutResources(); }
    void init();
    void cleanup() { setLanguageSettingsFolder(QString()); }
    void settingsFile_data();
    void settingsFile();
    void catalogues_data();
    void catalogues();

private:
    QString settingsPath() const { return languageSettingsPath(m_dir->path()); }

    QScopedPointer<QTemporaryDir> m_dir;
};

void tst_Language::init()
{
    // No catalogue installed, id 0 and an empty settings folder of its own.
    for (QTranslator *t : qApp->findChildren<QTranslator *>())
        QCoreApplication::removeTranslator(t);
    _currLangId = 0;
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    setLanguageSettingsFolder(m_dir->path());
}

void tst_Language::settingsFile_data()
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

void tst_Language::settingsFile()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, current);
    QFETCH(int, switchTo);
    QFETCH(int, expected);
    QFETCH(bool, written);
    if (!stored.isNull()) {
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(settingsText(stored));
    }
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

void tst_Language::catalogues_data()
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

void tst_Language::catalogues()
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

QTEST_MAIN(tst_Language)
#include "tst_language.moc"
