#include "protocol.h"
#include "udpserver.h"

#include <QtTest>

class tst_Protocol : public QObject
{
    Q_OBJECT
private slots:
    void sent_data();
    void sent();
    void acceptance_data();
    void acceptance();
    void datagramText_data();
    void datagramText();
    void receiveBufferShortfall_data();
    void receiveBufferShortfall();
};

namespace {

// A request from its fields as they are sent, "/" between them (version, mac, ipways, ipaddr, mask,
// gateway, dns1, dns2), and what is not sent.
SetIpRequest request(const QString &sent)
{
    const QStringList f = sent.split(QLatin1Char('/'));
    return {f[0], f[2],       f.value(3), f.value(4),          f.value(5),
            f[1], f.value(6), f.value(7), QStringLiteral("x"), 77};
}

// Literal bytes including any embedded NUL.
template <int N> QByteArray raw(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

} // namespace

void tst_Protocol::sent_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("discovery request") << protocol::discoveryRequest() << QByteArrayLiteral("@qxsrhip/all!");
    QTest::newRow("set-ip dhcp, 24 bytes") << protocol::setIpCommand(request(QStringLiteral("V1/M/dhcp")))
                                           << QByteArrayLiteral("@qxsetip/V1/M/dhcp/////!");
    QTest::newRow("set-ip static")
        << protocol::setIpCommand(request(QStringLiteral(
               "2.1/00:11:22:33:44:55/static/192.168.1.10/255.255.255.0/192.168.1.1/8.8.8.8/8.8.4.4")))
        << QByteArrayLiteral("@qxsetip/2.1/00:11:22:33:44:55/static/192.168.1.10/255.255.255.0/192.168.1.1/"
                             "8.8.8.8/8.8.4.4!");
    QTest::newRow("set-ip non-ASCII version and mac as UTF-8")
        << protocol::setIpCommand(request(QStringLiteral("версия/网卡/dhcp")))
        << QByteArray("@qxsetip/\xd0\xb2\xd0\xb5\xd1\x80\xd1\x81\xd0\xb8\xd1\x8f/\xe7\xbd\x91\xe5\x8d\xa1/"
                      "dhcp/////!");
}

void tst_Protocol::sent()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);
    QCOMPARE(bytes, expected);
}

void tst_Protocol::acceptance_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("fields"); // the record's nine texts joined by "|"; empty: refused

    QTest::newRow("nine fields, in order, untrimmed")
        << QByteArrayLiteral("@qxsrhip/ V1 /static/10.0.0.5/255.255.255.0/10.0.0.1/AA:BB/8.8.8.8/8.8.4.4/x!")
        << QStringLiteral(" V1 |static|10.0.0.5|255.255.255.0|10.0.0.1|AA:BB|8.8.8.8|8.8.4.4|x");
    QTest::newRow("all fields empty")
        << QByteArrayLiteral("@qxsrhip/////////!") << QStringLiteral("||||||||");
    QTest::newRow("NUL after the ninth field")
        << raw("@qxsrhip/V/w/i/m/g/mac/d1/d2/x\0/junk/more!") << QStringLiteral("V|w|i|m|g|mac|d1|d2|x");
    // A device's non-ASCII texts are UTF-8 both ways: set-IP sends them back as the same bytes.
    QTest::newRow("UTF-8 texts")
        << QByteArray(
               "@qxsrhip/\xe5\x9b\xba\xe4\xbb\xb6-\xd0\x92\x32/dhcp/1.2.3.4/m/g/\xc3\xa4\xc3\xb6:01/d1/d2/x!")
        << QStringLiteral("固件-В2|dhcp|1.2.3.4|m|g|äö:01|d1|d2|x");
    QTest::newRow("invalid UTF-8 still splits")
        << QByteArray("@qxsrhip/\xff/w/i/m/g/mac/d1/d2/x!") << QStringLiteral("\ufffd|w|i|m|g|mac|d1|d2|x");
    QTest::newRow("eight fields") << QByteArrayLiteral("@qxsrhip/V/w/i/m/g/mac/d1/d2!") << QString();
    QTest::newRow("ten fields") << QByteArrayLiteral("@qxsrhip/V/w/i/m/g/mac/d1/d2/x/y!") << QString();
    QTest::newRow("keyword in capitals") << QByteArrayLiteral("@QXSRHIP/V/w/i/m/g/mac/d1/d2/x!") << QString();
    QTest::newRow("own discovery request") << QByteArrayLiteral("@qxsrhip/all!") << QString();
    QTest::newRow("no leading @") << QByteArrayLiteral("qxsrhip/V/w/i/m/g/mac/d1/d2/x!") << QString();
    QTest::newRow("line end after !") << QByteArrayLiteral("@qxsrhip/V/w/i/m/g/mac/d1/d2/x!\n") << QString();
    QTest::newRow("NUL cuts a field off") << raw("@qxsrhip/V/w/i/m/g/mac/d1/d2\0/x!") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void tst_Protocol::acceptance()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, fields);
    const auto rec = protocol::parseDiscoveryReply(datagram);
    QCOMPARE(rec ? QStringList({rec->version, rec->ipways, rec->ipaddr, rec->mask, rec->gateway, rec->mac,
                                rec->dns1, rec->dns2, rec->extra})
                       .join(QLatin1Char('|'))
                 : QString(),
             fields);
}

void tst_Protocol::datagramText_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("text");
    QTest::newRow("framed: between @ and !") << QByteArrayLiteral("@a/b!") << QStringLiteral("a/b");
    QTest::newRow("framed, cut at NUL") << raw("@ab\0cd!") << QStringLiteral("ab");
    QTest::newRow("not framed, cut at NUL") << raw("ab\0cd") << QStringLiteral("ab");
    QTest::newRow("two bytes @! are not framed") << QByteArrayLiteral("@!") << QStringLiteral("@!");
    QTest::newRow("CR LF can't start a forged line")
        << QByteArrayLiteral("@a\r\nlanScout.udp: rx:  qxsrhip/x!")
        << QStringLiteral("a\\x0d\\x0alanScout.udp: rx:  qxsrhip/x");
    QTest::newRow("terminal sequences: clear, title, query")
        << QByteArrayLiteral("\x1b[2J\x1b]0;t\x07\x1b[6n")
        << QStringLiteral("\\x1b[2J\\x1b]0;t\\x07\\x1b[6n");
    QTest::newRow("BS and DEL") << QByteArrayLiteral("ab\x08\x08\x7f") << QStringLiteral("ab\\x08\\x08\\x7f");
    QTest::newRow("C1 CSI and NEL, as UTF-8") << QByteArrayLiteral("\xc2\x9b"
                                                                   "31m\xc2\x85")
                                              << QStringLiteral("\\x9b31m\\x85");
    QTest::newRow("line separator") << QByteArrayLiteral("a\xe2\x80\xa8"
                                                         "b")
                                    << QStringLiteral("a\\u2028b");
    QTest::newRow("TAB and printable text of any script stay")
        << QByteArrayLiteral("v\t\xd0\xb2\xe7\xbd\x91\xf0\x9f\x98\x80\\x1b")
        << QStringLiteral("v\tв网😀\\x1b");
}

void tst_Protocol::datagramText()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, text);
    QCOMPARE(protocol::datagramText(datagram), text);
}

void tst_Protocol::receiveBufferShortfall_data()
{
    QTest::addColumn<int>("granted");
    QTest::addColumn<bool>("said");
    const int asked = 8 * 1024 * 1024;
    QTest::newRow("granted in full") << asked << false;
    QTest::newRow("granted doubled (Linux reports twice the limit)") << 2 * asked << false;
    QTest::newRow("one byte short") << asked - 1 << true;
    QTest::newRow("unknown (the option could not be read)") << -1 << true;
}

void tst_Protocol::receiveBufferShortfall()
{
    QFETCH(int, granted);
    QFETCH(bool, said);
    const QString text = ::receiveBufferShortfall(8 * 1024 * 1024, granted);
    QCOMPARE(!text.isEmpty(), said);
    if (said)
        QVERIFY2(text.contains(QString::number(granted)) && text.contains(QLatin1String("8388608")),
                 qPrintable(text));
}

QTEST_APPLESS_MAIN(tst_Protocol)
#include "tst_protocol.moc"
