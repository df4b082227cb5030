#include "webaddress.h"

#include <QtTest>

class tst_WebAddress : public QObject
{
    Q_OBJECT
private slots:
    void plainIpv4_data();
    void plainIpv4();
};

void tst_WebAddress::plainIpv4_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("typical") << QStringLiteral("198.18.0.50") << true;
    QTest::newRow("all zero") << QStringLiteral("0.0.0.0") << true;
    QTest::newRow("all 255") << QStringLiteral("255.255.255.255") << true;

    QTest::newRow("user part and other host") << QStringLiteral("1.2.3.4@evil.example") << false;
    QTest::newRow("host name with path") << QStringLiteral("evil.example/login") << false;
    QTest::newRow("path") << QStringLiteral("1.2.3.4/x") << false;
    QTest::newRow("port") << QStringLiteral("1.2.3.4:80") << false;
    QTest::newRow("query") << QStringLiteral("1.2.3.4?a=b") << false;
    QTest::newRow("fragment") << QStringLiteral("1.2.3.4#x") << false;
    QTest::newRow("leading blank") << QStringLiteral(" 1.2.3.4") << false;
    QTest::newRow("trailing blank") << QStringLiteral("1.2.3.4 ") << false;
    QTest::newRow("trailing line feed") << QStringLiteral("1.2.3.4\n") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("three parts") << QStringLiteral("1.2.3") << false;
    QTest::newRow("five parts") << QStringLiteral("1.2.3.4.5") << false;
    QTest::newRow("trailing dot") << QStringLiteral("1.2.3.4.") << false;
    QTest::newRow("empty part") << QStringLiteral("1..3.4") << false;
    QTest::newRow("part above 255") << QStringLiteral("1.2.3.256") << false;
    QTest::newRow("four digits") << QStringLiteral("1.2.3.0255") << false;
    QTest::newRow("leading zero read as octal elsewhere") << QStringLiteral("010.1.1.1") << false;
    QTest::newRow("sign") << QStringLiteral("+1.2.3.4") << false;
    QTest::newRow("hex part") << QStringLiteral("0x7f.0.0.1") << false;
    QTest::newRow("single number") << QStringLiteral("2130706433") << false;
    QTest::newRow("non-ASCII digits") << QStringLiteral("١.٢.٣.٤") << false;
    QTest::newRow("full-width digits") << QStringLiteral("１.2.3.4") << false;
    QTest::newRow("IPv6") << QStringLiteral("::1") << false;
}

void tst_WebAddress::plainIpv4()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(isPlainIpv4Address(text), accepted);
}

QTEST_APPLESS_MAIN(tst_WebAddress)
#include "tst_webaddress.moc"
