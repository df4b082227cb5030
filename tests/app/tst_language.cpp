#include "ipitemmode.h"
#include "language.h"
#include "lanscoutresources.h"
#include "startup.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

QString settingsFile(const QTemporaryDir &dir)
{
    return languageSettingsPath(dir.path());
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList headers(const QAbstractItemModel &model)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.headerData(column, Qt::Horizontal).toString();
    return texts;
}

struct LanguageChangeCounter : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::LanguageChange)
            ++count;
        return false;
    }
};

QString mainWindowText(const char *source)
{
    return QCoreApplication::translate("mainWindow", source);
}

} // namespace

class tst_Language : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initLanScoutResources(); }
    void init();
    void cleanup() { setLanguageSettingsFolder(QString()); }

    void readLanguageId_data();
    void readLanguageId();
    void switchLanguage_data();
    void switchLanguage();
    void installRelabelsHeader_data();
    void installRelabelsHeader();
    void reinstalledCatalogueComesFirst();
    void startLanguage_data();
    void startLanguage();

private:
    QScopedPointer<QTemporaryDir> m_dir;
};

void tst_Language::init()
{
    // Every test starts with no catalogue installed, id 0 and its own empty folder.
    for (QTranslator *t : qApp->findChildren<QTranslator *>())
        QCoreApplication::removeTranslator(t);
    _currLangId = 0;
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    setLanguageSettingsFolder(m_dir->path());
}

void tst_Language::readLanguageId_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no settings file
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("expected");

    QTest::newRow("no file keeps the current id") << QByteArray() << 2 << 2;
    QTest::newRow("no file, nothing switched") << QByteArray() << 0 << 0;
    QTest::newRow("stored 1") << QByteArray("[user_Info]\nlanguageId=1\n") << 0 << 1;
    QTest::newRow("stored 0 overrides") << QByteArray("[user_Info]\nlanguageId=0\n") << 2 << 0;
    QTest::newRow("out of range") << QByteArray("[user_Info]\nlanguageId=5\n") << 1 << 0;
    QTest::newRow("negative") << QByteArray("[user_Info]\nlanguageId=-1\n") << 1 << 0;
    QTest::newRow("not a number") << QByteArray("[user_Info]\nlanguageId=russian\n") << 1 << 0;
    QTest::newRow("entry missing") << QByteArray("[other]\nx=1\n") << 2 << 0;
}

void tst_Language::readLanguageId()
{
    QFETCH(QByteArray, content);
    QFETCH(int, current);
    QFETCH(int, expected);
    const QString path = settingsFile(*m_dir);
    if (!content.isNull())
        writeFile(path, content);
    _currLangId = current;

    QCOMPARE(::readLanguageId(), expected);
    QCOMPARE(_currLangId, expected);
    QCOMPARE(QFile::exists(path), !content.isNull()); // reading never creates the file
    if (!content.isNull())
        QCOMPARE(readFile(path), content);
}

void tst_Language::switchLanguage_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no settings file
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("stored"); // -1: the file is left as it was

    const QByteArray stored0("[user_Info]\nlanguageId=0\n");
    const QByteArray stored2("[user_Info]\nlanguageId=2\n");
    QTest::newRow("English, no file: none created") << QByteArray() << 0 << 1 << 1 << -1;
    QTest::newRow("Russian, no file: none created") << QByteArray() << 1 << 2 << 2 << -1;
    QTest::newRow("English, stored") << stored0 << 0 << 1 << 1 << 1;
    QTest::newRow("Russian from the start id, stored") << stored0 << 0 << 2 << 2 << 2;
    QTest::newRow("same id: nothing") << stored2 << 2 << 2 << 2 << -1;
    QTest::newRow("English over a stored 2") << stored2 << 2 << 1 << 1 << 1;
    QTest::newRow("id 3 refused") << stored0 << 1 << 3 << 1 << -1;
    QTest::newRow("negative id refused") << stored0 << 1 << -1 << 1 << -1;
}

void tst_Language::switchLanguage()
{
    QFETCH(QByteArray, content);
    QFETCH(int, current);
    QFETCH(int, id);
    QFETCH(int, expected);
    QFETCH(int, stored);
    const QString path = settingsFile(*m_dir);
    if (!content.isNull())
        writeFile(path, content);
    _currLangId = current;
    IpItemMode model;
    const QString header0 = headers(model).at(0);

    QTest::ignoreMessage(
        QtDebugMsg, qPrintable(QStringLiteral("30 set landId = %1 _currLangId= %2").arg(id).arg(current)));
    ::switchLanguage(id, model);

    QCOMPARE(_currLangId, expected);
    if (content.isNull()) {
        QVERIFY(!QFile::exists(path));
    } else if (stored < 0) {
        QCOMPARE(readFile(path), content);
    } else {
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("user_Info/languageId")).toString(), QString::number(stored));
    }
    // An effective switch installs the language and relabels the header.
    const bool effective = expected != current;
    QCOMPARE(headers(model).at(0) != header0, effective);
    if (effective)
        QCOMPARE(mainWindowText("网络设置"),
                 id == 1 ? QStringLiteral("NetWork set") : QStringLiteral("Настройки сети"));
}

void tst_Language::installRelabelsHeader_data()
{
    QTest::addColumn<QList<int>>("ids"); // installed in this order
    QTest::addColumn<QStringList>("expected");

    const QStringList english{QStringLiteral("Version "), QStringLiteral("IP "), QStringLiteral("Mac ")};
    const QStringList russian{QStringLiteral("Версия ПО "), QStringLiteral("IP адрес "),
                              QStringLiteral("MAC адрес ")};
    const QStringList chinese{QStringLiteral("版本号"), QStringLiteral("IP"), QStringLiteral("Mac")};
    QTest::newRow("English") << QList<int>{1} << english;
    QTest::newRow("Russian") << QList<int>{2} << russian;
    QTest::newRow("English after Russian") << QList<int>{2, 1} << english;
    QTest::newRow("Chinese after Russian") << QList<int>{2, 0} << chinese;
    QTest::newRow("unknown id leaves it") << QList<int>{1, 3} << english;
}

void tst_Language::installRelabelsHeader()
{
    QFETCH(QList<int>, ids);
    QFETCH(QStringList, expected);
    IpItemMode model;
    QAbstractItemModelTester tester(&model);
    for (int id : ids)
        installLanguage(id, model);
    QCOMPARE(headers(model), expected);
    QCOMPARE(_currLangId, 0);
}

void tst_Language::reinstalledCatalogueComesFirst()
{
    IpItemMode model;
    LanguageChangeCounter counter;
    qApp->installEventFilter(&counter);

    // English, Russian, English again: the English catalogue must be in front once more.
    installLanguage(1, model);
    installLanguage(2, model);
    installLanguage(1, model);
    QCOMPARE(mainWindowText("网络设置"), QStringLiteral("NetWork set"));
    // English has no header entries: the Russian catalogue behind it answers those.
    QCOMPARE(QCoreApplication::translate("QObject", "版本号"), QStringLiteral("Версия ПО"));

    // Installing the catalogue that is already in front still announces a language change,
    // so the windows re-translate (and the details panel empties) as after any install.
    counter.count = 0;
    installLanguage(1, model);
    QVERIFY(counter.count > 0);

    // Switching back and forth reuses one translator per language.
    const int translators = qApp->findChildren<QTranslator *>().size();
    for (int i = 0; i < 10; ++i)
        ::switchLanguage(1 + i % 2, model);
    QCOMPARE(qApp->findChildren<QTranslator *>().size(), translators);
    QCOMPARE(mainWindowText("跳转网页"), QStringLiteral("WEB интерфейс"));
    qApp->removeEventFilter(&counter);
}

void tst_Language::startLanguage_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("button");

    QTest::newRow("Russian") << QLocale(QLocale::Russian, QLocale::Russia) << QStringLiteral("Версия ПО ")
                             << QStringLiteral("Настройки сети");
    QTest::newRow("Chinese gets English") << QLocale(QLocale::Chinese, QLocale::China)
                                          << QStringLiteral("Version ") << QStringLiteral("NetWork set");
    QTest::newRow("German gets English") << QLocale(QLocale::German, QLocale::Germany)
                                         << QStringLiteral("Version ") << QStringLiteral("NetWork set");
}

void tst_Language::startLanguage()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, header);
    QFETCH(QString, button);
    const QString path = settingsFile(*m_dir);
    const QByteArray content("[user_Info]\nlanguageId=0\n");
    writeFile(path, content);
    IpItemMode model;

    installStartLanguage(locale, model);

    QCOMPARE(headers(model).at(0), header);
    QCOMPARE(mainWindowText("网络设置"), button);
    // The start language is neither recorded nor stored.
    QCOMPARE(_currLangId, 0);
    QCOMPARE(readFile(path), content);
}

QTEST_MAIN(tst_Language)
#include "tst_language.moc"
