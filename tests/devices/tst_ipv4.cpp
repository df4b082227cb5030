// The strict address rule: what the web button hands to the browser and what the command line takes.
#include "ipv4.h"

#include <QtTest>

class tst_Ipv4 : public QObject
{
    Q_OBJECT
private slots:
    void strictText_data();
    void strictText();
};

void tst_Ipv4::strictText_data()
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

void tst_Ipv4::strictText()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QCOMPARE(parseIpv4(text).has_value(), accepted);
}

QTEST_APPLESS_MAIN(tst_Ipv4)
#include "tst_ipv4.moc"
