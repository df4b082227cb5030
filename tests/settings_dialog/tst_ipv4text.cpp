#include "ipv4text.h"

#include <QtTest>

Q_DECLARE_METATYPE(OctetInput)

class TestIpv4Text : public QObject
{
    Q_OBJECT
private slots:
    void octets_data();
    void octets();
    void roundTrip();
    void join_data();
    void join();
    void octetInput_data();
    void octetInput();
};

void TestIpv4Text::octets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown"); // the four octets, dotted

    QTest::newRow("four parts") << "192.168.1.10"
                                << "192.168.1.10";
    QTest::newRow("all 255") << "255.255.255.255"
                             << "255.255.255.255";
    QTest::newRow("empty text") << ""
                                << "0.0.0.0";
    QTest::newRow("null text") << QString() << "0.0.0.0";
    QTest::newRow("three parts") << "1.2.3"
                                 << "0.0.0.0";
    QTest::newRow("five parts") << "1.2.3.4.5"
                                << "0.0.0.0";
    QTest::newRow("trailing dot") << "1.2.3.4."
                                  << "0.0.0.0";
    QTest::newRow("only dots") << "..."
                               << "0.0.0.0";
    QTest::newRow("300 in one part") << "10.0.300.1"
                                     << "10.0.0.1";
    QTest::newRow("256 in one part") << "256.1.2.3"
                                     << "0.1.2.3";
    QTest::newRow("letters") << "a.1.2.3"
                             << "0.1.2.3";
    QTest::newRow("empty part") << "1..2.3"
                                << "1.0.2.3";
    QTest::newRow("leading zeros are decimal") << "010.001.000.009"
                                               << "10.1.0.9";
    QTest::newRow("negative") << "-1.2.3.4"
                              << "0.2.3.4";
    QTest::newRow("hex is not read") << "0x10.1.2.3"
                                     << "0.1.2.3";
    QTest::newRow("surrounding whitespace") << " 1.2 .3.\t4"
                                            << "1.2.3.4";
    QTest::newRow("inner whitespace") << "1 0.2.3.4"
                                      << "0.2.3.4";
    QTest::newRow("beyond 32 bits") << "4294967296.1.2.3"
                                    << "0.1.2.3";
    QTest::newRow("32-bit maximum") << "1.4294967295.2.3"
                                    << "1.0.2.3";
    QTest::newRow("huge") << "1.2.3.99999999999999999999999"
                          << "1.2.3.0";
    QTest::newRow("octet wrap would give 1") << "257.0.0.0"
                                             << "0.0.0.0";
}

void TestIpv4Text::octets()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    const Ipv4Octets o = octetsFromText(text);
    QCOMPARE(QStringLiteral("%1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]), shown);
}

void TestIpv4Text::roundTrip()
{
    // Every octet value in every position survives joining and reading back.
    for (int v = 0; v <= 255; ++v) {
        for (size_t pos = 0; pos < 4; ++pos) {
            Ipv4Fields fields{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                              QStringLiteral("4")};
            fields[pos] = QString::number(v);
            const Ipv4Octets o = octetsFromText(joinOctetFields(fields));
            QCOMPARE(int(o[pos]), v);
        }
    }
}

void TestIpv4Text::join_data()
{
    QTest::addColumn<QString>("fields"); // the four field texts, separated by '|'
    QTest::addColumn<QString>("joined");

    QTest::newRow("complete") << "192|168|1|10"
                              << "192.168.1.10";
    QTest::newRow("taken as they stand") << "010|0|00|9"
                                         << "010.0.00.9";
    QTest::newRow("first empty") << "|2|3|4"
                                 << "";
    QTest::newRow("second empty") << "1||3|4"
                                  << "";
    QTest::newRow("third empty") << "1|2||4"
                                 << "";
    QTest::newRow("fourth empty") << "1|2|3|"
                                  << "";
    QTest::newRow("all empty") << "|||"
                               << "";
}

void TestIpv4Text::join()
{
    QFETCH(QString, fields);
    QFETCH(QString, joined);
    const QStringList f = fields.split(QLatin1Char('|'));
    QCOMPARE(f.size(), 4);
    const QString result = joinOctetFields({f[0], f[1], f[2], f[3]});
    QCOMPARE(result, joined);
    QVERIFY(!result.isNull()); // an incomplete address is empty text, not a null string
}

void TestIpv4Text::octetInput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OctetInput>("expected");

    QTest::newRow("empty") << "" << OctetInput::Empty;
    QTest::newRow("0") << "0" << OctetInput::Valid;
    QTest::newRow("255") << "255" << OctetInput::Valid;
    QTest::newRow("leading zeros") << "007" << OctetInput::Valid;
    QTest::newRow("256") << "256" << OctetInput::Refused;
    QTest::newRow("999") << "999" << OctetInput::Refused;
    QTest::newRow("four digits") << "0001" << OctetInput::Refused;
    QTest::newRow("plus sign") << "+1" << OctetInput::Refused;
    QTest::newRow("minus zero") << "-0" << OctetInput::Refused;
    QTest::newRow("dot") << "1." << OctetInput::Refused;
    QTest::newRow("group separator") << "1,0" << OctetInput::Refused;
    QTest::newRow("space") << " 1" << OctetInput::Refused;
    QTest::newRow("letter") << "1a" << OctetInput::Refused;
    QTest::newRow("non-ASCII digit") << QStringLiteral("\u0663") << OctetInput::Refused;
    QTest::newRow("fullwidth digit") << QStringLiteral("\uFF11") << OctetInput::Refused;
}

void TestIpv4Text::octetInput()
{
    QFETCH(QString, text);
    QFETCH(OctetInput, expected);
    QCOMPARE(checkOctetInput(text), expected);
}

QTEST_APPLESS_MAIN(TestIpv4Text)
#include "tst_ipv4text.moc"
