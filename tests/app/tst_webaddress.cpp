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
    const auto row = [](const char *name, const char *text, bool accepted) {
        QTest::newRow(name) << QString::fromUtf8(text) << accepted;
    };
    row("typical", "198.18.0.50", true);
    row("all 255", "255.255.255.255", true);
    row("user part and other host", "1.2.3.4@evil.example", false);
    row("port", "1.2.3.4:80", false);
    row("leading blank", " 1.2.3.4", false);
    row("trailing line feed", "1.2.3.4\n", false);
    row("empty", "", false);
    row("three parts", "1.2.3", false);
    row("five parts", "1.2.3.4.5", false);
    row("empty part", "1..3.4", false);
    row("part above 255", "1.2.3.256", false);
    row("four digits", "1.2.3.0255", false);
    row("leading zero, read as octal elsewhere", "010.1.1.1", false);
    row("sign", "+1.2.3.4", false);
    row("non-ASCII digits", "١.٢.٣.٤", false);
}

void tst_WebAddress::plainIpv4()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(isPlainIpv4Address(text), accepted);
}

QTEST_APPLESS_MAIN(tst_WebAddress)
#include "tst_webaddress.moc"
