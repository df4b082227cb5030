// The simulator's devices and command line, without sockets.

#include "protocol.h"
#include "simdevices.h"

#include <QSet>
#include <QTest>

using namespace devsim;

Q_DECLARE_METATYPE(devsim::SetIpResult)

namespace {

QStringList texts(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

Subnet subnet(const char *text)
{
    return *Subnet::fromText(QString::fromLatin1(text));
}

SetIpRequest command(const DeviceRecord &device, const QString &ipways, const QStringList &fields = {})
{
    SetIpRequest c;
    c.version = device.version;
    c.mac = device.mac;
    c.ipways = ipways;
    c.ipaddr = fields.value(0);
    c.mask = fields.value(1);
    c.gateway = fields.value(2);
    c.dns1 = fields.value(3);
    c.dns2 = fields.value(4);
    return c;
}

} // namespace

class tst_SimDevices : public QObject
{
    Q_OBJECT

private slots:
    void subnetFromText_data();
    void subnetFromText();
    void devicesAreDistinctAndInTheSubnet_data();
    void devicesAreDistinctAndInTheSubnet();
    void setIp_data();
    void setIp();
    void dhcpLeases();
    void options_data();
    void options();
    void control_data();
    void control();
    void rxLineIsOneUnambiguousLine();
};

void tst_SimDevices::subnetFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("network");
    QTest::addColumn<int>("prefix");

    QTest::newRow("host address") << "198.18.0.2/24" << true << "198.18.0.0" << 24;
    QTest::newRow("network address") << "198.18.0.0/24" << true << "198.18.0.0" << 24;
    QTest::newRow("large") << "10.1.2.3/8" << true << "10.0.0.0" << 8;
    QTest::newRow("small") << "198.18.0.77/28" << true << "198.18.0.64" << 28;
    QTest::newRow("no prefix") << "198.18.0.2" << false << "" << 0;
    QTest::newRow("prefix too short") << "198.18.0.2/7" << false << "" << 0;
    QTest::newRow("prefix too long for devices and pool") << "198.18.0.2/29" << false << "" << 0;
    QTest::newRow("signed prefix") << "198.18.0.2/+24" << false << "" << 0;
    QTest::newRow("octet over 255") << "198.18.0.256/24" << false << "" << 0;
    QTest::newRow("leading zero") << "198.18.0.02/24" << false << "" << 0;
    QTest::newRow("three octets") << "198.18.0/24" << false << "" << 0;
    QTest::newRow("empty octet") << "198..0.2/24" << false << "" << 0;
    QTest::newRow("blank inside") << "198.18.0. 2/24" << false << "" << 0;
    QTest::newRow("two prefixes") << "198.18.0.2/24/24" << false << "" << 0;
}

void tst_SimDevices::subnetFromText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, network);
    QFETCH(int, prefix);

    const auto s = Subnet::fromText(text);
    QCOMPARE(bool(s), valid);
    if (!s)
        return;
    QCOMPARE(ipv4Text(s->network), network);
    QCOMPARE(s->prefixLength, prefix);
}

void tst_SimDevices::devicesAreDistinctAndInTheSubnet_data()
{
    QTest::addColumn<QString>("subnet");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("distinctAddresses");

    QTest::newRow("three, /24") << "198.18.0.2/24" << 3 << "255.255.255.0" << 3;
    QTest::newRow("more than the static range, /24") << "198.18.0.2/24" << 300 << "255.255.255.0" << 229;
    QTest::newRow("twenty, /28") << "198.18.0.2/28" << 20 << "255.255.255.240" << 9;
    QTest::newRow("one, /16") << "198.18.0.2/16" << 1 << "255.255.0.0" << 1;
}

void tst_SimDevices::devicesAreDistinctAndInTheSubnet()
{
    QFETCH(QString, subnet);
    QFETCH(int, count);
    QFETCH(QString, mask);
    QFETCH(int, distinctAddresses);

    const Subnet s = *Subnet::fromText(subnet);
    SimDevices devices(s, count);
    const AddressPool pool(s);
    QCOMPARE(devices.size(), count);
    QSet<QString> macs, versions, addresses;
    for (int i = 0; i < count; ++i) {
        const DeviceRecord &d = devices.device(i);
        macs << d.mac;
        versions << d.version;
        addresses << d.ipaddr;
        // Locally administered unicast, as the host prints and sends it back.
        QVERIFY2(d.mac.startsWith(QLatin1String("02:00:00:")) && d.mac.size() == 17, qPrintable(d.mac));
        QCOMPARE(d.ipways, QStringLiteral("static"));
        QCOMPARE(d.mask, mask);
        const quint32 address = *parseIpv4(d.ipaddr);
        QVERIFY2(s.contains(address), qPrintable(d.ipaddr));
        const quint32 host = address - s.network;
        QVERIFY2(host > 2 && host < s.size() - 1, qPrintable(d.ipaddr)); // no network, router or broadcast
        QVERIFY2(address < pool.first(), qPrintable(d.ipaddr));          // DHCP addresses stay free
        QVERIFY(!devices.isSilent(i));
        // What it sends is what the host parses back.
        QCOMPARE(protocol::parseDiscoveryReply(protocol::discoveryReply(d)), std::optional<DeviceRecord>(d));
    }
    QCOMPARE(macs.size(), count);
    QCOMPARE(versions.size(), count);
    QCOMPARE(addresses.size(), distinctAddresses);
}

void tst_SimDevices::setIp_data()
{
    QTest::addColumn<int>("target");      // device the command names, -1: none
    QTest::addColumn<QString>("version"); // instead of the target's own, when not empty
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("ipways");
    QTest::addColumn<QStringList>("fields"); // ipaddr, mask, gateway, dns1, dns2
    QTest::addColumn<bool>("silent");
    QTest::addColumn<SetIpResult>("result");
    QTest::addColumn<QStringList>("after"); // ipways, ipaddr, mask, gateway, dns1, dns2

    const QStringList unchanged =
        texts({"static", "198.18.0.11", "255.255.255.0", "198.18.0.1", "198.18.0.1", "198.18.0.2"});
    const QStringList fixed =
        texts({"198.18.0.77", "255.255.0.0", "198.18.0.254", "198.18.0.53", "198.18.0.54"});

    QTest::newRow("static") << 1 << ""
                            << ""
                            << "static" << fixed << false << SetIpResult::Applied
                            << (texts({"static"}) + fixed);
    QTest::newRow("static, optional fields empty")
        << 1 << ""
        << ""
        << "static" << texts({"198.18.0.77", "255.255.255.0", "", "", ""}) << false << SetIpResult::Applied
        << texts({"static", "198.18.0.77", "255.255.255.0", "", "", ""});
    QTest::newRow("dhcp") << 1 << ""
                          << ""
                          << "dhcp" << texts({"", "", "", "", ""}) << false << SetIpResult::Applied
                          << texts({"dhcp", "198.18.0.239", "255.255.255.0", "198.18.0.1", "198.18.0.1",
                                    "198.18.0.2"});
    QTest::newRow("dhcp ignores the address fields")
        << 1 << ""
        << ""
        << "dhcp" << fixed << false << SetIpResult::Applied
        << texts({"dhcp", "198.18.0.239", "255.255.255.0", "198.18.0.1", "198.18.0.1", "198.18.0.2"});
    QTest::newRow("mac of another device")
        << 1 << ""
        << "02:00:00:00:00:01"
        << "static" << fixed << false << SetIpResult::UnknownDevice << unchanged;
    QTest::newRow("other version") << 1 << "V1.1"
                                   << ""
                                   << "static" << fixed << false << SetIpResult::UnknownDevice << unchanged;
    QTest::newRow("mac in other letter case") // device 9 is 02:00:00:00:00:0A
        << 9 << ""
        << "02:00:00:00:00:0a"
        << "static" << fixed << false << SetIpResult::UnknownDevice
        << texts({"static", "198.18.0.19", "255.255.255.0", "198.18.0.1", "198.18.0.1", "198.18.0.2"});
    QTest::newRow("silent device") << 1 << ""
                                   << ""
                                   << "static" << fixed << true << SetIpResult::DeviceSilent << unchanged;
    QTest::newRow("mode in capitals") << 1 << ""
                                      << ""
                                      << "DHCP" << fixed << false << SetIpResult::UnknownMode << unchanged;
    QTest::newRow("empty mode") << 1 << ""
                                << ""
                                << "" << fixed << false << SetIpResult::UnknownMode << unchanged;
    QTest::newRow("static without address")
        << 1 << ""
        << ""
        << "static" << texts({"", "255.255.255.0"}) << false << SetIpResult::BadAddress << unchanged;
    QTest::newRow("static with a bad mask")
        << 1 << ""
        << ""
        << "static" << texts({"198.18.0.77", "255.255.255"}) << false << SetIpResult::BadAddress << unchanged;
    QTest::newRow("static with an octet over 255") << 1 << ""
                                                   << ""
                                                   << "static" << texts({"198.18.0.300", "255.255.255.0"})
                                                   << false << SetIpResult::BadAddress << unchanged;
}

void tst_SimDevices::setIp()
{
    QFETCH(int, target);
    QFETCH(QString, version);
    QFETCH(QString, mac);
    QFETCH(QString, ipways);
    QFETCH(QStringList, fields);
    QFETCH(bool, silent);
    QFETCH(SetIpResult, result);
    QFETCH(QStringList, after);

    SimDevices devices(subnet("198.18.0.2/24"), 12);
    devices.setSilent(target, silent);
    const DeviceRecord before0 = devices.device(0);
    const DeviceRecord beforeTarget = devices.device(target);
    SetIpRequest c = command(devices.device(target), ipways, fields);
    if (!version.isEmpty())
        c.version = version;
    if (!mac.isEmpty())
        c.mac = mac;

    const SetIpOutcome outcome = devices.apply(c);
    QCOMPARE(outcome.result, result);
    QCOMPARE(outcome.device, result == SetIpResult::UnknownDevice ? -1 : target);
    const DeviceRecord &d = devices.device(target);
    QCOMPARE((QStringList{d.ipways, d.ipaddr, d.mask, d.gateway, d.dns1, d.dns2}), after);
    // Identity and the ninth field never change, nor does any other device.
    QCOMPARE(d.version, beforeTarget.version);
    QCOMPARE(d.mac, beforeTarget.mac);
    QCOMPARE(d.extra, beforeTarget.extra);
    QCOMPARE(devices.device(0), before0);
}

void tst_SimDevices::dhcpLeases()
{
    // A /28 has a pool of three addresses: .76 to .78 of 198.18.0.64/28.
    SimDevices devices(subnet("198.18.0.64/28"), 5);
    auto dhcp = [&](int i) { return devices.apply(command(devices.device(i), QStringLiteral("dhcp"))); };
    auto address = [&](int i) { return devices.device(i).ipaddr; };

    QCOMPARE(dhcp(0).result, SetIpResult::Applied);
    QCOMPARE(address(0), QStringLiteral("198.18.0.76"));
    QCOMPARE(devices.device(0).mask, QStringLiteral("255.255.255.240"));
    QCOMPARE(devices.device(0).gateway, QStringLiteral("198.18.0.65"));
    // The host sends each command once from every one of its addresses: the same lease.
    QCOMPARE(dhcp(0).result, SetIpResult::Applied);
    QCOMPARE(address(0), QStringLiteral("198.18.0.76"));
    QCOMPARE(dhcp(1).result, SetIpResult::Applied);
    QCOMPARE(address(1), QStringLiteral("198.18.0.77"));
    QCOMPARE(dhcp(2).result, SetIpResult::Applied);
    QCOMPARE(address(2), QStringLiteral("198.18.0.78"));

    const QString before = address(3);
    QCOMPARE(dhcp(3).result, SetIpResult::PoolExhausted);
    QCOMPARE(address(3), before);
    QCOMPARE(devices.device(3).ipways, QStringLiteral("static"));

    // A device that goes static gives its lease back.
    QCOMPARE(devices
                 .apply(command(devices.device(1), QStringLiteral("static"),
                                {QStringLiteral("198.18.0.70"), QStringLiteral("255.255.255.240")}))
                 .result,
             SetIpResult::Applied);
    QCOMPARE(dhcp(3).result, SetIpResult::Applied);
    QCOMPARE(address(3), QStringLiteral("198.18.0.77"));
    QCOMPARE(dhcp(4).result, SetIpResult::PoolExhausted);
}

void tst_SimDevices::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("devices");
    QTest::addColumn<bool>("broadcast");
    QTest::addColumn<int>("spreadMs");
    QTest::addColumn<int>("lifetimeS");
    QTest::addColumn<bool>("readControl");
    QTest::addColumn<bool>("allowRealNetwork"); // never given here: the check stays on
    QTest::addColumn<QString>("subnet");        // empty: none given

    QTest::newRow("defaults") << QStringList{} << true << 3 << false << 0 << 0 << true << false << "";
    QTest::newRow("everything") << texts({"--devices", "7", "--broadcast", "--spread", "250", "--lifetime",
                                          "60", "--no-stdin", "--subnet", "198.18.4.9/22"})
                                << true << 7 << true << 250 << 60 << false << false << "198.18.4.0/22";
    QTest::newRow("value after =") << texts({"--devices=2", "--lifetime=5"}) << true << 2 << false << 0 << 5
                                   << true << false << "";
    QTest::newRow("single dash") << texts({"-devices", "2"}) << true << 2 << false << 0 << 0 << true << false
                                 << "";
    QTest::newRow("no devices") << texts({"--devices", "0"}) << false << 0 << false << 0 << 0 << false
                                << false << "";
    QTest::newRow("too many devices")
        << texts({"--devices", "100001"}) << false << 0 << false << 0 << 0 << false << false << "";
    QTest::newRow("devices not a number")
        << texts({"--devices", "three"}) << false << 0 << false << 0 << 0 << false << false << "";
    QTest::newRow("negative spread") << texts({"--spread", "-1"}) << false << 0 << false << 0 << 0 << false
                                     << false << "";
    QTest::newRow("negative lifetime")
        << texts({"--lifetime", "-5"}) << false << 0 << false << 0 << 0 << false << false << "";
    QTest::newRow("value missing") << texts({"--lifetime"}) << false << 0 << false << 0 << 0 << false << false
                                   << "";
    QTest::newRow("bad subnet") << texts({"--subnet", "198.18.0.1"}) << false << 0 << false << 0 << 0 << false
                                << false << "";
    QTest::newRow("unknown option") << texts({"--allow-real"}) << false << 0 << false << 0 << 0 << false
                                    << false << "";
    QTest::newRow("stray argument") << texts({"3"}) << false << 0 << false << 0 << 0 << false << false << "";
}

void tst_SimDevices::options()
{
    QFETCH(QStringList, args);
    QFETCH(bool, valid);

    const ParsedOptions parsed = parseOptions(QStringList{QStringLiteral("lanscout-devsim")} + args);
    QCOMPARE(parsed.error.isEmpty(), valid);
    QVERIFY(!parsed.help);
    if (!valid)
        return;
    QFETCH(int, devices);
    QFETCH(bool, broadcast);
    QFETCH(int, spreadMs);
    QFETCH(int, lifetimeS);
    QFETCH(bool, readControl);
    QFETCH(bool, allowRealNetwork);
    QFETCH(QString, subnet);
    const Options &o = parsed.options;
    QCOMPARE(o.devices, devices);
    QCOMPARE(o.broadcast, broadcast);
    QCOMPARE(o.spreadMs, spreadMs);
    QCOMPARE(o.lifetimeS, lifetimeS);
    QCOMPARE(o.readControl, readControl);
    QCOMPARE(o.allowRealNetwork, allowRealNetwork);
    QCOMPARE(o.subnet ? QStringLiteral("%1/%2").arg(ipv4Text(o.subnet->network)).arg(o.subnet->prefixLength)
                      : QString(),
             subnet);
}

void tst_SimDevices::control_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("device");

    QTest::newRow("silence") << "silence 0" << true << int(Control::Silence) << 0;
    QTest::newRow("wake") << "wake 12" << true << int(Control::Wake) << 12;
    QTest::newRow("quit") << "quit" << true << int(Control::Quit) << -1;
    QTest::newRow("blanks and CR") << "  silence\t 2 \r" << true << int(Control::Silence) << 2;
    QTest::newRow("no device") << "silence" << false << 0 << 0;
    QTest::newRow("negative device") << "wake -1" << false << 0 << 0;
    QTest::newRow("signed device") << "wake +1" << false << 0 << 0;
    QTest::newRow("device not a number") << "wake one" << false << 0 << 0;
    QTest::newRow("extra word") << "silence 1 2" << false << 0 << 0;
    QTest::newRow("quit with argument") << "quit now" << false << 0 << 0;
    QTest::newRow("capitals") << "Silence 1" << false << 0 << 0;
    QTest::newRow("empty") << "" << false << 0 << 0;
}

void tst_SimDevices::control()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(int, kind);
    QFETCH(int, device);

    const auto c = parseControl(line);
    QCOMPARE(bool(c), valid);
    if (!c)
        return;
    QCOMPARE(int(c->kind), kind);
    QCOMPARE(c->device, device);
}

void tst_SimDevices::rxLineIsOneUnambiguousLine()
{
    // Any bytes at all, line ends and NULs included, stay on one line and come back whole.
    const QByteArray odd("@qxsrhip/a b\n\0!\r", 16);
    const QByteArray line = rxLine(1234, QStringLiteral("198.18.0.1"), 8888, odd);
    QCOMPARE(line.count('\n'), 1);
    QVERIFY(line.endsWith('\n'));
    const QList<QByteArray> words = line.trimmed().split(' ');
    QCOMPARE(words.size(), 5);
    QCOMPARE(words.mid(0, 4), (QList<QByteArray>{"rx", "1234", "198.18.0.1", "8888"}));
    QCOMPARE(QByteArray::fromHex(words[4]), odd);

    QCOMPARE(rxLine(5, QStringLiteral("198.18.1.1"), 1, QByteArray()), QByteArray("rx 5 198.18.1.1 1 -\n"));
}

QTEST_GUILESS_MAIN(tst_SimDevices)
#include "tst_simdevices.moc"
