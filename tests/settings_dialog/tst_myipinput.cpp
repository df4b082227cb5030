#include "myipinput.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QtTest>

namespace {

QLineEdit *field(const MyIpInput &input, int n)
{
    return input.findChild<QLineEdit *>(QStringLiteral("leIp%1").arg(n));
}

QString shown(const MyIpInput &input)
{
    QStringList texts;
    for (int n = 1; n <= 4; ++n)
        texts << field(input, n)->text();
    return texts.join(QLatin1Char('|'));
}

void row3(const char *name, const char *a, const char *b, const char *c)
{
    QTest::newRow(name) << QString::fromUtf8(a) << QString::fromUtf8(b) << QString::fromUtf8(c);
}

} // namespace

class TestMyIpInput : public QObject
{
    Q_OBJECT
private slots:
    void sharedValidator();
    void setIpText_data();
    void setIpText();
    void typing_data();
    void typing();
    void emptiedField();
    void looks();
};

void TestMyIpInput::sharedValidator()
{
    MyIpInput input;
    const QList<QIntValidator *> validators = input.findChildren<QIntValidator *>();
    QCOMPARE(validators.size(), 1);
    QCOMPARE(validators[0]->parent(), &input);
    QCOMPARE(validators[0]->bottom(), 0);
    QCOMPARE(validators[0]->top(), 255);
    for (int n = 1; n <= 4; ++n)
        QCOMPARE(field(input, n)->validator(), validators[0]);
}

void TestMyIpInput::setIpText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("ipText");

    row3("address", "192.168.1.10", "192|168|1|10", "192.168.1.10");
    row3("five parts", "1.2.3.4.5", "0|0|0|0", "0.0.0.0");
    row3("out of range and letters", "a.300.2.3", "0|0|2|3", "0.0.2.3");
    row3("leading zeros", "010.001.000.009", "10|1|0|9", "10.1.0.9");
}

void TestMyIpInput::setIpText()
{
    QFETCH(QString, text);
    QFETCH(QString, fields);
    QFETCH(QString, ipText);
    MyIpInput input;
    field(input, 2)->clear(); // every field is written anew
    input.setIpText(text);
    QCOMPARE(shown(input), fields);
    QCOMPARE(input.ipText(), ipText);
    QVERIFY(input.isComplete());
}

void TestMyIpInput::typing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");

    QTest::newRow("255") << QStringLiteral("255") << QStringLiteral("255");
    QTest::newRow("256 refused") << QStringLiteral("256") << QStringLiteral("25");
    QTest::newRow("999 refused") << QStringLiteral("999") << QStringLiteral("99");
    QTest::newRow("three characters at most") << QStringLiteral("1234") << QStringLiteral("123");
    QTest::newRow("dot refused") << QStringLiteral("1.2") << QStringLiteral("12");
    QTest::newRow("sign, letters and spaces refused") << QStringLiteral("+a 7") << QStringLiteral("7");
    QTest::newRow("group separator refused") << QStringLiteral("1,0") << QStringLiteral("10");
}

void TestMyIpInput::typing()
{
    QFETCH(QString, keys);
    QFETCH(QString, text);
    MyIpInput input;
    input.setIpText(QStringLiteral("1.2.3.4"));
    field(input, 3)->clear();
    QTest::keyClicks(field(input, 3), keys);
    // The focus never moves on by itself: the other fields keep their values.
    QCOMPARE(shown(input), QStringLiteral("1|2|%1|4").arg(text));
    QCOMPARE(input.ipText(), QStringLiteral("1.2.%1.4").arg(text));
}

void TestMyIpInput::emptiedField()
{
    for (int n = 1; n <= 4; ++n) {
        MyIpInput input;
        input.setIpText(QStringLiteral("10.20.30.40"));
        field(input, n)->selectAll();
        QTest::keyClick(field(input, n), Qt::Key_Backspace);
        QVERIFY(!input.isComplete());
        QCOMPARE(input.ipText(), QString());
        QVERIFY(!input.ipText().isNull());
    }
}

void TestMyIpInput::looks()
{
    const QString white =
        QStringLiteral("* {background-color: rgb(255, 255, 255);}QLineEdit {border: 0px outset;}");
    const QString grey =
        QStringLiteral("* {background-color: rgb(188, 188, 188);}QLineEdit {border: 0px outset;}");
    MyIpInput input;
    QVERIFY(input.isEnabled());
    QCOMPARE(input.styleSheet(), white);

    input.setInputEnabled(false);
    QVERIFY(!input.isEnabled());
    QCOMPARE(input.styleSheet(), grey);
    field(input, 1)->clear();
    QTest::keyClicks(field(input, 1), QStringLiteral("12"));
    QCOMPARE(field(input, 1)->text(), QString()); // a disabled editor takes no input

    input.setInputEnabled(true);
    QVERIFY(input.isEnabled());
    QCOMPARE(input.styleSheet(), white);
    QTest::keyClicks(field(input, 1), QStringLiteral("12"));
    QCOMPARE(field(input, 1)->text(), QStringLiteral("12"));
}

QTEST_MAIN(TestMyIpInput)
#include "tst_myipinput.moc"
