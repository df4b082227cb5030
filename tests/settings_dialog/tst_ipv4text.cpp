#include "ipv4text.h"

#include <QtTest>

Q_DECLARE_METATYPE(OctetInput)

class TestIpv4Text : public QObject
{
    Q_OBJECT
private slots:
    void octets_data();
    void octets();
    void join_data();
    void join();
    void octetInput_data();
    void octetInput();
};

static void row2(const char *name, const char *a, const char *b)
{
    QTest::newRow(name) << QString::fromUtf8(a) << QString::fromUtf8(b);
}

void TestIpv4Text::octets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown"); // the four octets, dotted

    row2("four parts", "192.168.1.10", "192.168.1.10");
    row2("all 255", "255.255.255.255", "255.255.255.255");
    row2("empty text", "", "0.0.0.0");
    row2("three parts", "1.2.3", "0.0.0.0");
    row2("five parts", "1.2.3.4.5", "0.0.0.0");
    row2("trailing dot", "1.2.3.4.", "0.0.0.0");
    row2("only dots", "...", "0.0.0.0");
    row2("300 in one part", "10.0.300.1", "10.0.0.1");
    row2("256 does not wrap", "256.1.2.3", "0.1.2.3");
    row2("letters", "a.1.2.3", "0.1.2.3");
    row2("empty part", "1..2.3", "1.0.2.3");
    row2("leading zeros are decimal", "010.001.000.009", "10.1.0.9");
    row2("negative", "-1.2.3.4", "0.2.3.4");
    row2("hex is not read", "0x10.1.2.3", "0.1.2.3");
    row2("surrounding whitespace", " 1.2 .3.\t4", "1.2.3.4");
    row2("inner whitespace", "1 0.2.3.4", "0.2.3.4");
    row2("beyond 32 bits", "4294967296.1.2.3", "0.1.2.3");
    row2("32-bit maximum", "1.4294967295.2.3", "1.0.2.3");
    row2("huge", "1.2.3.99999999999999999999999", "1.2.3.0");
}

void TestIpv4Text::octets()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    const Ipv4Octets o = octetsFromText(text);
    QCOMPARE(QStringLiteral("%1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]), shown);
}

void TestIpv4Text::join_data()
{
    QTest::addColumn<QString>("fields"); // the four field texts, separated by '|'
    QTest::addColumn<QString>("joined");

    row2("complete", "192|168|1|10", "192.168.1.10");
    row2("taken as they stand", "010|0|00|9", "010.0.00.9");
    row2("first empty", "|2|3|4", "");
    row2("last empty", "1|2|3|", "");
    row2("all empty", "|||", "");
}

void TestIpv4Text::join()
{
    QFETCH(QString, fields);
    QFETCH(QString, joined);
    const QStringList f = fields.split(QLatin1Char('|'));
    const QString result = joinOctetFields({f[0], f[1], f[2], f[3]});
    QCOMPARE(result, joined);
    QVERIFY(!result.isNull()); // an incomplete address is empty text, not a null string
}

void TestIpv4Text::octetInput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OctetInput>("expected");

    QTest::newRow("empty") << QString() << OctetInput::Empty;
    for (const char *valid : {"0", "255", "007"})
        QTest::newRow(valid) << QString::fromUtf8(valid) << OctetInput::Valid;
    // QIntValidator(0, 255) would let the first five stay in a field.
    for (const char *refused :
         {"256", "999", "+1", "1,0", "0001", "-0", "1.", " 1", "1a", "\u0663", "\uff11"})
        QTest::newRow(refused) << QString::fromUtf8(refused) << OctetInput::Refused;
}

void TestIpv4Text::octetInput()
{
    QFETCH(QString, text);
    QFETCH(OctetInput, expected);
    QCOMPARE(checkOctetInput(text), expected);
}

QTEST_APPLESS_MAIN(TestIpv4Text)
#include "tst_ipv4text.moc"
