#include "ipv4text.h"
#include "myipinput.h"

#include <QLineEdit>
#include <QtTest>

Q_DECLARE_METATYPE(OctetInput)

namespace {

void row2(const char *name, const char *a, const char *b)
{
    QTest::newRow(name) << QString::fromUtf8(a) << QString::fromUtf8(b);
}

QLineEdit *field(const MyIpInput &input, int n)
{
    return input.findChild<QLineEdit *>(QStringLiteral("leIp%1").arg(n));
}

} // namespace

class tst_IpInput : public QObject
{
    Q_OBJECT
private slots:
    void octets_data();
    void octets();
    void octetInput_data();
    void octetInput();
    void editor();
};

void tst_IpInput::octets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown"); // the four octets, dotted

    row2("four parts", "192.168.1.10", "192.168.1.10");
    row2("empty text", "", "0.0.0.0");
    row2("three parts", "1.2.3", "0.0.0.0");
    row2("300 in one part", "10.0.300.1", "10.0.0.1");
    row2("256 does not wrap", "256.1.2.3", "0.1.2.3");
    row2("letters", "a.1.2.3", "0.1.2.3");
    row2("empty part", "1..2.3", "1.0.2.3");
    row2("leading zeros are decimal", "010.001.000.009", "10.1.0.9");
}

void tst_IpInput::octets()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    const Ipv4Octets o = octetsFromText(text);
    QCOMPARE(QStringLiteral("%1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]), shown);
}

void tst_IpInput::octetInput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OctetInput>("expected");

    QTest::newRow("empty") << QString() << OctetInput::Empty;
    for (const char *valid : {"0", "255", "007"})
        QTest::newRow(valid) << QString::fromUtf8(valid) << OctetInput::Valid;
    // QIntValidator(0, 255) would let the first four stay in a field.
    for (const char *refused : {"256", "999", "+1", "1,0", "0001", " 1", "\u0663"})
        QTest::newRow(refused) << QString::fromUtf8(refused) << OctetInput::Refused;
}

void tst_IpInput::octetInput()
{
    QFETCH(QString, text);
    QFETCH(OctetInput, expected);
    QCOMPARE(checkOctetInput(text), expected);
}

void tst_IpInput::editor()
{
    for (int n = 1; n <= 4; ++n) { // each field on its own
        MyIpInput input;
        field(input, n)->clear(); // every field is written anew
        input.setIpText(QStringLiteral("10.20.30.40"));
        QCOMPARE(input.ipText(), QStringLiteral("10.20.30.40"));
        QVERIFY(input.isComplete());

        // The validator drops the key that would make 256; the focus stays in the field.
        field(input, n)->clear();
        QTest::keyClicks(field(input, n), QStringLiteral("256"));
        QCOMPARE(input.ipText().split(QLatin1Char('.')).value(n - 1), QStringLiteral("25"));

        field(input, n)->clear();
        QVERIFY(!input.isComplete());
        QCOMPARE(input.ipText(), QLatin1String(""));
        QVERIFY(!input.ipText().isNull()); // empty text, as the request's fields expect
    }
    // Disabled, it takes no typing.
    MyIpInput input;
    input.setInputEnabled(false);
    QTest::keyClicks(field(input, 1), QStringLiteral("12"));
    QCOMPARE(field(input, 1)->text(), QString());
    input.setInputEnabled(true);
    QTest::keyClicks(field(input, 1), QStringLiteral("12"));
    QCOMPARE(field(input, 1)->text(), QStringLiteral("12"));
}

QTEST_MAIN(tst_IpInput)
#include "tst_ipinput.moc"
