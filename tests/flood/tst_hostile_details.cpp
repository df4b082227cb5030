// A device whose reply carries markup, control characters, direction overrides or very long
// texts: the window shows them as plain text, and the web button opens nothing for it.

#include "devicerecord.h"
#include "floodgen.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "language.h"
#include "lanscoutresources.h"
#include "mainwindow.h"

#include <QAbstractItemModelTester>
#include <QDesktopServices>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

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

DeviceRecord everyField(const QString &text)
{
    DeviceRecord rec;
    rec.version = rec.ipways = rec.ipaddr = rec.mask = rec.gateway = rec.mac = text;
    rec.dns1 = rec.dns2 = rec.extra = text;
    return rec;
}

// The details panel as the English labels frame the six fields. The panel holds lines, not
// line-end bytes: a CR LF or a lone CR in a field reads back as LF.
QString expectedDetails(const DeviceRecord &r)
{
    QString text = QStringLiteral("version: ") + r.version + QStringLiteral("\nipways: ") + r.ipways +
                   QStringLiteral("\nipaddr: ") + r.ipaddr + QStringLiteral("\nmask: ") + r.mask +
                   QStringLiteral("\ngateway: ") + r.gateway + QStringLiteral("\nmac: ") + r.mac;
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

class tst_HostileDetails : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void shownAsPlainText_data();
    void shownAsPlainText();

private:
    UrlCatcher m_browser;
    QTemporaryDir m_dir;
};

void tst_HostileDetails::initTestCase()
{
    initLanScoutResources();
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_browser, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_browser, "open");
    QVERIFY(m_dir.isValid());
    // English labels in the details panel.
    setLanguageSettingsFolder(m_dir.path());
    QSettings(languageSettingsPath(m_dir.path()), QSettings::IniFormat)
        .setValue(QStringLiteral("user_Info/languageId"), 1);
}

void tst_HostileDetails::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    setLanguageSettingsFolder(QString());
}

void tst_HostileDetails::shownAsPlainText_data()
{
    QTest::addColumn<DeviceRecord>("rec");
    QTest::addColumn<QStringList>("opened"); // what the web button hands to the browser

    const QStringList none;
    QTest::newRow("link, entities, script")
        << everyField(QStringLiteral("<a href=\"http://198.18.0.9/\">&amp;&lt;</a><script>alert(1)</script>"))
        << none;
    QTest::newRow("a line of its own") << everyField(QStringLiteral("V1\nmac: 02:00:00:00:00:01")) << none;
    QTest::newRow("as long as a datagram")
        << everyField(QString(flood::MaxDatagram - 20, QLatin1Char('<'))) << none;
    // The only thing the browser ever gets: a plain address, whatever else the reply holds.
    DeviceRecord plainAddress = everyField(QStringLiteral("<b>x</b><img src=x>"));
    plainAddress.ipaddr = QStringLiteral("198.18.0.9");
    QTest::newRow("markup around a plain address")
        << plainAddress << QStringList{QStringLiteral("http://198.18.0.9")};
    // The replies of the hostile flood (control characters, direction overrides, long texts,
    // broken UTF-8), as the program parses them.
    const QRegularExpression cleanAddress(QStringLiteral("^198\\.18\\.0\\.[0-9]+$"));
    for (const DeviceRecord &rec : flood::hostileDevices()) {
        const QStringList url{QStringLiteral("http://") + rec.ipaddr};
        QTest::newRow(qPrintable(QStringLiteral("flood reply ") + rec.mac))
            << rec << (cleanAddress.match(rec.ipaddr).hasMatch() ? url : none);
    }
}

void tst_HostileDetails::shownAsPlainText()
{
    QFETCH(DeviceRecord, rec);
    QFETCH(QStringList, opened);
    m_browser.urls.clear();

    IpItemMode model;
    IpList list(model);
    QAbstractItemModelTester tester(&model);
    mainWindow window(list, model);
    window.show();
    list.mergeDevice(rec);
    list.applyPendingChanges();
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 0).data().toString(), rec.version);
    QCOMPARE(model.index(0, 2).data().toString(), rec.mac);

    auto *view = window.findChild<QTableView *>(QStringLiteral("tvwIplist"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(model.index(0, 1)).center());
    auto *details = window.findChild<QTextBrowser *>(QStringLiteral("tbwIpInf"));
    QCOMPARE(details->toPlainText(), expectedDetails(rec));
    // Not one tag of the fields became markup: the document holds them as text.
    const QString html = details->toHtml();
    for (const char *tag : {"<b>", "<img", "<a ", "<script"})
        QVERIFY2(!html.contains(QLatin1String(tag)), tag);

    window.findChild<QPushButton *>(QStringLiteral("pbtWeb"))->click();
    QStringList urls;
    for (const QUrl &url : qAsConst(m_browser.urls))
        urls << url.toString();
    QCOMPARE(urls, opened);
}

QTEST_MAIN(tst_HostileDetails)
#include "tst_hostile_details.moc"
