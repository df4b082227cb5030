#include "protocol.h"

#include <QtTest>

class tst_Protocol : public QObject
{
    Q_OBJECT
private slots:
    void discoveryRequest();
    void setIpCommand_data();
    void setIpCommand();
    void acceptance_data();
    void acceptance();
    void replyFields();
    void utf8RoundTrip();
    void datagramText_data();
    void datagramText();
    void deviceSide_data();
    void deviceSide();
};

namespace {

SetIpRequest request(const QString &version, const QString &mac, const QString &ipways,
                     const QString &ipaddr = {}, const QString &mask = {}, const QString &gateway = {},
                     const QString &dns1 = {}, const QString &dns2 = {})
{
    SetIpRequest r;
    r.version = version;
    r.mac = mac;
    r.ipways = ipways;
    r.ipaddr = ipaddr;
    r.mask = mask;
    r.gateway = gateway;
    r.dns1 = dns1;
    r.dns2 = dns2;
    r.extra = QStringLiteral("never sent");
    r.cnt = 77;
    return r;
}

// Literal bytes including any embedded NUL.
template <int N> QByteArray raw(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

const QByteArray goodReply =
    QByteArrayLiteral("@qxsrhip/V1/static/10.0.0.5/255.255.255.0/10.0.0.1/AA:BB/8.8.8.8/8.8.4.4/x!");

} // namespace

void tst_Protocol::discoveryRequest()
{
    QCOMPARE(protocol::discoveryRequest(), QByteArrayLiteral("@qxsrhip/all!"));
    QCOMPARE(protocol::discoveryRequest().size(), 13);
}

void tst_Protocol::setIpCommand_data()
{
    QTest::addColumn<SetIpRequest>("req");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("dhcp is 24 bytes")
        << request(QStringLiteral("V1"), QStringLiteral("M"), QStringLiteral("dhcp"))
        << QByteArrayLiteral("@qxsetip/V1/M/dhcp/////!");
    QTest::newRow("static, mac before mode")
        << request(QStringLiteral("2.1"), QStringLiteral("00:11:22:33:44:55"), QStringLiteral("static"),
                   QStringLiteral("192.168.1.10"), QStringLiteral("255.255.255.0"),
                   QStringLiteral("192.168.1.1"), QStringLiteral("8.8.8.8"), QStringLiteral("8.8.4.4"))
        << QByteArrayLiteral("@qxsetip/2.1/00:11:22:33:44:55/static/192.168.1.10/255.255.255.0/192.168.1.1/"
                             "8.8.8.8/8.8.4.4!");
    QTest::newRow("incomplete gateway sent empty")
        << request(QStringLiteral("V"), QStringLiteral("M"), QStringLiteral("static"),
                   QStringLiteral("1.2.3.4"), QStringLiteral("255.0.0.0"), QString(),
                   QStringLiteral("0.0.0.0"), QStringLiteral("0.0.0.0"))
        << QByteArrayLiteral("@qxsetip/V/M/static/1.2.3.4/255.0.0.0//0.0.0.0/0.0.0.0!");
    QTest::newRow("non-ASCII version and mac as UTF-8")
        << request(QStringLiteral("версия"), QStringLiteral("网卡"), QStringLiteral("dhcp"))
        << QByteArray("@qxsetip/\xd0\xb2\xd0\xb5\xd1\x80\xd1\x81\xd0\xb8\xd1\x8f/\xe7\xbd\x91\xe5\x8d\xa1/"
                      "dhcp/////!");
}

void tst_Protocol::setIpCommand()
{
    QFETCH(SetIpRequest, req);
    QFETCH(QByteArray, bytes);
    QCOMPARE(protocol::setIpCommand(req), bytes);
}

void tst_Protocol::acceptance_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("nine fields") << goodReply << true;
    QTest::newRow("empty last field")
        << QByteArrayLiteral("@qxsrhip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/!") << true;
    QTest::newRow("all fields empty") << QByteArrayLiteral("@qxsrhip/////////!") << true;
    QTest::newRow("eight fields") << QByteArrayLiteral("@qxsrhip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2!") << false;
    QTest::newRow("ten fields") << QByteArrayLiteral("@qxsrhip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/x/y!") << false;
    QTest::newRow("keyword in capitals")
        << QByteArrayLiteral("@QXSRHIP/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/x!") << false;
    QTest::newRow("keyword one letter off")
        << QByteArrayLiteral("@qxsrhiP/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/x!") << false;
    QTest::newRow("set-ip keyword") << QByteArrayLiteral("@qxsetip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/x!")
                                    << false;
    QTest::newRow("own discovery request") << QByteArrayLiteral("@qxsrhip/all!") << false;
    QTest::newRow("no leading @") << QByteArrayLiteral("qxsrhip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/x!") << false;
    QTest::newRow("no final !") << QByteArrayLiteral("@qxsrhip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/x") << false;
    QTest::newRow("line end after !")
        << QByteArrayLiteral("@qxsrhip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/x!\n") << false;
    QTest::newRow("NUL after !") << raw("@qxsrhip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/x!\0") << false;
    QTest::newRow("NUL cuts a field off") << raw("@qxsrhip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2\0/x!") << false;
    QTest::newRow("NUL after the ninth field")
        << raw("@qxsrhip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/x\0/junk/more!") << true;
    QTest::newRow("NUL right after @") << raw("@\0qxsrhip/V1/dhcp/1.2.3.4/m/g/mac/d1/d2/x!") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("one byte") << QByteArrayLiteral("@") << false;
    QTest::newRow("two bytes @!") << QByteArrayLiteral("@!") << false;
    QTest::newRow("three bytes @x!") << QByteArrayLiteral("@x!") << false;
    QTest::newRow("invalid UTF-8 still splits")
        << QByteArray("@qxsrhip/\xff\xfe/dhcp/1.2.3.4/m/g/mac/d1/d2/x!") << true;
}

void tst_Protocol::acceptance()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    QCOMPARE(protocol::parseDiscoveryReply(datagram).has_value(), accepted);
}

void tst_Protocol::replyFields()
{
    const auto rec = protocol::parseDiscoveryReply(goodReply);
    QVERIFY(rec);
    QCOMPARE(rec->version, QStringLiteral("V1"));
    QCOMPARE(rec->ipways, QStringLiteral("static"));
    QCOMPARE(rec->ipaddr, QStringLiteral("10.0.0.5"));
    QCOMPARE(rec->mask, QStringLiteral("255.255.255.0"));
    QCOMPARE(rec->gateway, QStringLiteral("10.0.0.1"));
    QCOMPARE(rec->mac, QStringLiteral("AA:BB"));
    QCOMPARE(rec->dns1, QStringLiteral("8.8.8.8"));
    QCOMPARE(rec->dns2, QStringLiteral("8.8.4.4"));
    QCOMPARE(rec->extra, QStringLiteral("x"));
    QCOMPARE(rec->cnt, 0u);
    // Fields are kept exactly as received: no trimming.
    const auto spaced = protocol::parseDiscoveryReply(QByteArrayLiteral("@qxsrhip/ V1 /a/b/c/d/e/f/g/h!"));
    QVERIFY(spaced);
    QCOMPARE(spaced->version, QStringLiteral(" V1 "));
}

void tst_Protocol::utf8RoundTrip()
{
    // What a device reports in non-ASCII is sent back to it as the very same bytes.
    const QByteArray version("\xe5\x9b\xba\xe4\xbb\xb6-\xd0\x92\x32");
    const QByteArray mac("\xc3\xa4\xc3\xb6:01");
    const auto rec =
        protocol::parseDiscoveryReply("@qxsrhip/" + version + "/dhcp/1.2.3.4/m/g/" + mac + "/d1/d2/x!");
    QVERIFY(rec);
    SetIpRequest req = *rec;
    req.ipways = QStringLiteral("dhcp");
    req.ipaddr = req.mask = req.gateway = req.dns1 = req.dns2 = QString();
    QCOMPARE(protocol::setIpCommand(req), "@qxsetip/" + version + "/" + mac + "/dhcp/////!");
}

void tst_Protocol::datagramText_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("text");

    QTest::newRow("framed: between @ and !")
        << goodReply << QString::fromLatin1(goodReply.mid(1, goodReply.size() - 2));
    QTest::newRow("not framed: whole datagram") << QByteArrayLiteral("hello") << QStringLiteral("hello");
    QTest::newRow("framed, cut at NUL") << raw("@ab\0cd!") << QStringLiteral("ab");
    QTest::newRow("not framed, cut at NUL") << raw("ab\0cd") << QStringLiteral("ab");
    QTest::newRow("two bytes @! are not framed") << QByteArrayLiteral("@!") << QStringLiteral("@!");
    QTest::newRow("empty") << QByteArray() << QString();
}

void tst_Protocol::datagramText()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, text);
    QCOMPARE(protocol::datagramText(datagram), text);
}

void tst_Protocol::deviceSide_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("isRequest");
    QTest::addColumn<bool>("isSetIp");

    QTest::newRow("discovery request") << protocol::discoveryRequest() << true << false;
    QTest::newRow("discovery request with line end")
        << QByteArrayLiteral("@qxsrhip/all!\n") << false << false;
    QTest::newRow("set-ip command") << protocol::setIpCommand(request(
                                           QStringLiteral("V"), QStringLiteral("M"), QStringLiteral("dhcp")))
                                    << false << true;
    QTest::newRow("set-ip with a field too many")
        << QByteArrayLiteral("@qxsetip/V/M/dhcp//////!") << false << false;
    QTest::newRow("a reply") << goodReply << false << false;
}

void tst_Protocol::deviceSide()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, isRequest);
    QFETCH(bool, isSetIp);
    QCOMPARE(protocol::isDiscoveryRequest(datagram), isRequest);
    const auto cmd = protocol::parseSetIpCommand(datagram);
    QCOMPARE(cmd.has_value(), isSetIp);
    if (cmd)
        QCOMPARE(protocol::setIpCommand(*cmd), datagram);

    // A device's reply built by the simulator side parses back to the same record.
    const auto rec = protocol::parseDiscoveryReply(goodReply);
    QCOMPARE(protocol::discoveryReply(*rec), goodReply);
}

QTEST_APPLESS_MAIN(tst_Protocol)
#include "tst_protocol.moc"
