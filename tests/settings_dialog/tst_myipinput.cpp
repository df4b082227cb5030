#include "myipinput.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QtTest>

namespace {

const QString enabledLook =
    QStringLiteral("* {background-color: rgb(255, 255, 255);}QLineEdit {border: 0px outset;}");
const QString disabledLook =
    QStringLiteral("* {background-color: rgb(188, 188, 188);}QLineEdit {border: 0px outset;}");

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

} // namespace

class TestMyIpInput : public QObject
{
    Q_OBJECT
private slots:
    void form();
    void setIpText_data();
    void setIpText();
    void typing_data();
    void typing();
    void emptiedField_data();
    void emptiedField();
    void looks();
};

void TestMyIpInput::form()
{
    MyIpInput input;
    QCOMPARE(input.objectName(), QStringLiteral("MyIpInput"));
    QCOMPARE(input.minimumHeight(), 35);
    QCOMPARE(input.maximumHeight(), 35);

    // Fields and fixed dots alternate, left to right.
    const auto *row = input.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout"));
    QVERIFY(row);
    const QStringList order{QStringLiteral("leIp1"),  QStringLiteral("lbDot1"), QStringLiteral("leIp2"),
                            QStringLiteral("lbDot2"), QStringLiteral("leIp3"),  QStringLiteral("lbDot3"),
                            QStringLiteral("leIp4")};
    QCOMPARE(row->count(), order.size());
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(row->itemAt(i)->widget()->objectName(), order[i]);

    // One validator, owned by the editor, shared by the four fields.
    const QList<QIntValidator *> validators = input.findChildren<QIntValidator *>();
    QCOMPARE(validators.size(), 1);
    QCOMPARE(validators[0]->parent(), &input);
    QCOMPARE(validators[0]->bottom(), 0);
    QCOMPARE(validators[0]->top(), 255);
    for (int n = 1; n <= 4; ++n) {
        QCOMPARE(field(input, n)->validator(), validators[0]);
        QCOMPARE(field(input, n)->maxLength(), 3);
        QCOMPARE(field(input, n)->alignment(), Qt::AlignCenter);
    }
}

void TestMyIpInput::setIpText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("ipText");

    QTest::newRow("address") << "192.168.1.10"
                             << "192|168|1|10"
                             << "192.168.1.10";
    QTest::newRow("empty") << ""
                           << "0|0|0|0"
                           << "0.0.0.0";
    QTest::newRow("five parts") << "1.2.3.4.5"
                                << "0|0|0|0"
                                << "0.0.0.0";
    QTest::newRow("out of range and letters") << "a.300.2.3"
                                              << "0|0|2|3"
                                              << "0.0.2.3";
    QTest::newRow("leading zeros") << "010.001.000.009"
                                   << "10|1|0|9"
                                   << "10.1.0.9";
}

void TestMyIpInput::setIpText()
{
    QFETCH(QString, text);
    QFETCH(QString, fields);
    QFETCH(QString, ipText);
    MyIpInput input;
    field(input, 2)->clear(); // shows the whole address anew, whatever was there
    input.setIpText(text);
    QCOMPARE(shown(input), fields);
    QCOMPARE(input.ipText(), ipText);
    QVERIFY(input.isComplete());
}

void TestMyIpInput::typing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");

    QTest::newRow("255") << "255"
                         << "255";
    QTest::newRow("256 refused") << "256"
                                 << "25";
    QTest::newRow("999 refused") << "999"
                                 << "99";
    QTest::newRow("three characters at most") << "1234"
                                              << "123";
    QTest::newRow("dot refused") << "1.2"
                                 << "12";
    QTest::newRow("sign refused") << "+7"
                                  << "7";
    QTest::newRow("letters and spaces refused") << "a 1b"
                                                << "1";
    QTest::newRow("group separator refused") << "1,0"
                                             << "10";
}

void TestMyIpInput::typing()
{
    QFETCH(QString, keys);
    QFETCH(QString, text);
    MyIpInput input;
    input.setIpText(QStringLiteral("1.2.3.4"));
    QLineEdit *third = field(input, 3);
    third->clear();
    QTest::keyClicks(third, keys);
    QCOMPARE(third->text(), text);
    // The focus stays in the field; the others keep their values.
    QCOMPARE(shown(input), QStringLiteral("1|2|%1|4").arg(text));
    QCOMPARE(input.ipText(), QStringLiteral("1.2.%1.4").arg(text));
}

void TestMyIpInput::emptiedField_data()
{
    QTest::addColumn<int>("n");
    for (int n = 1; n <= 4; ++n)
        QTest::addRow("field %d", n) << n;
}

void TestMyIpInput::emptiedField()
{
    QFETCH(int, n);
    MyIpInput input;
    input.setIpText(QStringLiteral("10.20.30.40"));
    QLineEdit *f = field(input, n);
    f->selectAll();
    QTest::keyClick(f, Qt::Key_Backspace);
    QCOMPARE(f->text(), QString());
    QVERIFY(!input.isComplete());
    QCOMPARE(input.ipText(), QString());
    QVERIFY(!input.ipText().isNull());
}

void TestMyIpInput::looks()
{
    MyIpInput input;
    QVERIFY(input.isEnabled());
    QCOMPARE(input.styleSheet(), enabledLook);

    input.setInputEnabled(false);
    QVERIFY(!input.isEnabled());
    QCOMPARE(input.styleSheet(), disabledLook);
    QLineEdit *first = field(input, 1);
    first->clear();
    QTest::keyClicks(first, QStringLiteral("12"));
    QCOMPARE(first->text(), QString()); // a disabled editor takes no input

    input.setInputEnabled(true);
    QVERIFY(input.isEnabled());
    QCOMPARE(input.styleSheet(), enabledLook);
    QTest::keyClicks(first, QStringLiteral("12"));
    QCOMPARE(first->text(), QStringLiteral("12"));
}

QTEST_MAIN(TestMyIpInput)
#include "tst_myipinput.moc"
