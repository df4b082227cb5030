#include "simdevices.h"

#include <QCommandLineParser>

namespace devsim {

namespace {

constexpr int MinPrefix = 8;
constexpr int MaxPrefix = 28;
constexpr int MaxDevices = 100000;
constexpr int MaxSpreadMs = 60000;
constexpr int MaxLifetimeS = 24 * 3600;
constexpr int MaxPoolSize = 16;

const QLatin1String Static("static");
const QLatin1String Dhcp("dhcp");

// Host part of the first static device address: low addresses are left to routers.
quint32 firstStaticHost(const Subnet &subnet)
{
    return subnet.size() >= 64 ? 10 : 3;
}

void setDhcpSettings(DeviceRecord &d, const Subnet &subnet, quint32 address)
{
    d.ipways = Dhcp;
    d.ipaddr = ipv4Text(address);
    d.mask = ipv4Text(subnet.mask());
    d.gateway = ipv4Text(subnet.host(1));
    d.dns1 = ipv4Text(subnet.host(1));
    d.dns2 = ipv4Text(subnet.host(2));
}

std::optional<int> boundedInt(const QString &text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<Subnet> Subnet::containing(quint32 address, int prefixLength)
{
    if (prefixLength < MinPrefix || prefixLength > MaxPrefix)
        return std::nullopt;
    return Subnet{*subnetOf(address, prefixLength)};
}

std::optional<Subnet> Subnet::fromText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    if (parts.size() != 2)
        return std::nullopt;
    const auto address = parseIpv4(parts[0]);
    const auto prefix = boundedInt(parts[1], MinPrefix, MaxPrefix);
    if (!address || !prefix || parts[1].startsWith(QLatin1Char('+')))
        return std::nullopt;
    return containing(*address, *prefix);
}

AddressPool::AddressPool(const Subnet &subnet)
{
    const int usable = int(subnet.size()) - 2;
    m_size = qBound(1, usable / 4, MaxPoolSize);
    m_first = subnet.host(quint32(usable - m_size + 1));
}

std::optional<quint32> AddressPool::lease(const QString &mac)
{
    const auto known = m_leases.constFind(mac);
    if (known != m_leases.constEnd())
        return known.value();
    for (int i = 0; i < m_size; ++i) {
        const quint32 address = m_first + quint32(i);
        if (!m_leases.key(address).isNull())
            continue;
        m_leases.insert(mac, address);
        return address;
    }
    return std::nullopt;
}

void AddressPool::release(const QString &mac)
{
    m_leases.remove(mac);
}

QString resultName(SetIpResult result)
{
    switch (result) {
    case SetIpResult::Applied:
        return QStringLiteral("applied");
    case SetIpResult::UnknownDevice:
        return QStringLiteral("unknown-device");
    case SetIpResult::DeviceSilent:
        return QStringLiteral("device-silent");
    case SetIpResult::UnknownMode:
        return QStringLiteral("unknown-mode");
    case SetIpResult::BadAddress:
        return QStringLiteral("bad-address");
    case SetIpResult::PoolExhausted:
        return QStringLiteral("pool-exhausted");
    case SetIpResult::Ignored:
        return QStringLiteral("ignored");
    case SetIpResult::Dropped:
        return QStringLiteral("dropped");
    case SetIpResult::Misapplied:
        return QStringLiteral("misapplied");
    }
    return QString();
}

SimDevices::SimDevices(const Subnet &subnet, int count) : m_subnet(subnet), m_pool(subnet)
{
    m_firstStatic = firstStaticHost(subnet);
    m_staticCount = m_pool.first() - subnet.host(m_firstStatic);
    m_devices.reserve(count);
    // More devices than static addresses: the addresses repeat. The host tells devices apart by
    // MAC and version only, so that does no harm here.
    for (int i = 0; i < count; ++i)
        m_devices.append(makeDevice(i, nextAddress()));
    m_silent.fill(false, count);
}

DeviceRecord SimDevices::makeDevice(int index, quint32 address) const
{
    const int n = index + 1;
    DeviceRecord d;
    d.version = QStringLiteral("V1.%1").arg(n);
    d.ipways = Static;
    d.ipaddr = ipv4Text(address);
    d.mask = ipv4Text(m_subnet.mask());
    d.gateway = ipv4Text(m_subnet.host(1));
    d.mac = QStringLiteral("02:00:00:%1:%2:%3")
                .arg((n >> 16) & 0xff, 2, 16, QLatin1Char('0'))
                .arg((n >> 8) & 0xff, 2, 16, QLatin1Char('0'))
                .arg(n & 0xff, 2, 16, QLatin1Char('0'))
                .toUpper();
    d.dns1 = ipv4Text(m_subnet.host(1));
    d.dns2 = ipv4Text(m_subnet.host(2));
    d.extra = QStringLiteral("devsim-%1").arg(n);
    return d;
}

quint32 SimDevices::nextAddress()
{
    return m_subnet.host(m_firstStatic + m_nextStatic++ % m_staticCount);
}

int SimDevices::add()
{
    m_devices.append(makeDevice(size(), nextAddress()));
    m_silent.append(false);
    return size() - 1;
}

QString SimDevices::renumber(int index)
{
    DeviceRecord &d = m_devices[index];
    QString address = ipv4Text(nextAddress());
    if (address == d.ipaddr) // a subnet that has wrapped round: still a change
        address = ipv4Text(nextAddress());
    d.ipaddr = address;
    return address;
}

QString SimDevices::changeField(int index, int serial)
{
    DeviceRecord &d = m_devices[index];
    if (serial % 2 == 0) {
        d.extra = QStringLiteral("devsim-%1.%2").arg(index + 1).arg(serial);
        return QStringLiteral("extra");
    }
    const QString first = ipv4Text(m_subnet.host(1));
    d.gateway = d.gateway == first ? ipv4Text(m_subnet.host(m_subnet.size() - 2)) : first;
    return QStringLiteral("gateway");
}

QVector<int> SimDevices::answering() const
{
    QVector<int> result;
    result.reserve(m_devices.size());
    for (int i = 0; i < m_devices.size(); ++i) {
        if (!m_silent[i])
            result.append(i);
    }
    return result;
}

SetIpOutcome SimDevices::apply(const SetIpRequest &command)
{
    int index = -1;
    for (int i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].version == command.version && m_devices[i].mac == command.mac) {
            index = i;
            break;
        }
    }
    if (index < 0)
        return {SetIpResult::UnknownDevice, -1};
    if (m_silent[index])
        return {SetIpResult::DeviceSilent, index};
    const auto habit = m_habits.find(index);
    if (habit != m_habits.end() && habit->ignore)
        return {SetIpResult::Ignored, index};
    if (habit != m_habits.end() && habit->drop > 0) {
        --habit->drop;
        return {SetIpResult::Dropped, index};
    }
    const QString otherAddress = habit != m_habits.end() ? habit->otherAddress : QString();
    DeviceRecord &d = m_devices[index];

    if (command.ipways == Static) {
        if (!parseIpv4(command.ipaddr) || !parseIpv4(command.mask))
            return {SetIpResult::BadAddress, index};
        m_pool.release(d.mac);
        d.ipways = Static;
        d.ipaddr = command.ipaddr;
        d.mask = command.mask;
        d.gateway = command.gateway;
        d.dns1 = command.dns1;
        d.dns2 = command.dns2;
    } else if (command.ipways == Dhcp) {
        const auto address = m_pool.lease(d.mac);
        if (!address)
            return {SetIpResult::PoolExhausted, index};
        setDhcpSettings(d, m_subnet, *address);
    } else {
        return {SetIpResult::UnknownMode, index};
    }
    if (otherAddress.isEmpty())
        return {SetIpResult::Applied, index};
    d.ipaddr = otherAddress;
    return {SetIpResult::Misapplied, index};
}

ParsedOptions parseOptions(const QStringList &arguments)
{
    ParsedOptions result;
    Options &o = result.options;

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption version = parser.addVersionOption(); // -v, --version
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption devices(QStringLiteral("devices"), QString(), QStringLiteral("N"));
    const QCommandLineOption broadcast(QStringLiteral("broadcast"));
    const QCommandLineOption spread(QStringLiteral("spread"), QString(), QStringLiteral("MS"));
    const QCommandLineOption lifetime(QStringLiteral("lifetime"), QString(), QStringLiteral("S"));
    const QCommandLineOption subnet(QStringLiteral("subnet"), QString(), QStringLiteral("ADDRESS/PREFIX"));
    const QCommandLineOption onlyFrom(QStringLiteral("only-from"), QString(), QStringLiteral("ADDRESS"));
    const QCommandLineOption noStdin(QStringLiteral("no-stdin"));
    const QCommandLineOption allowReal(QStringLiteral("allow-real-network"));
    const QCommandLineOption ignoreSetIp(QStringLiteral("ignore-setip"), QString(), QStringLiteral("I"));
    const QCommandLineOption dropSetIp(QStringLiteral("drop-setip"), QString(), QStringLiteral("I:N"));
    const QCommandLineOption misapplySetIp(QStringLiteral("misapply-setip"), QString(),
                                           QStringLiteral("I:ADDRESS"));
    const QCommandLineOption churnLeave(QStringLiteral("churn-leave"), QString(), QStringLiteral("P"));
    const QCommandLineOption churnBack(QStringLiteral("churn-back"), QString(), QStringLiteral("P"));
    const QCommandLineOption churnNew(QStringLiteral("churn-new"), QString(), QStringLiteral("P"));
    const QCommandLineOption churnRenumber(QStringLiteral("churn-renumber"), QString(), QStringLiteral("P"));
    const QCommandLineOption churnChange(QStringLiteral("churn-change"), QString(), QStringLiteral("P"));
    const QCommandLineOption churnSeed(QStringLiteral("churn-seed"), QString(), QStringLiteral("S"));
    parser.addOptions({help, devices, broadcast, spread, lifetime, subnet, onlyFrom, noStdin, allowReal,
                       ignoreSetIp, dropSetIp, misapplySetIp, churnLeave, churnBack, churnNew, churnRenumber,
                       churnChange, churnSeed});

    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return result;
    }
    result.help = parser.isSet(help);
    result.version = parser.isSet(version);

    auto number = [&](const QCommandLineOption &option, int min, int max, int &out) {
        if (!parser.isSet(option))
            return true;
        const auto value = boundedInt(parser.value(option), min, max);
        if (!value) {
            result.error = QStringLiteral("--%1 takes a whole number from %2 to %3")
                               .arg(option.names().first())
                               .arg(min)
                               .arg(max);
            return false;
        }
        out = *value;
        return true;
    };
    if (!number(devices, 1, MaxDevices, o.devices) || !number(spread, 0, MaxSpreadMs, o.spreadMs) ||
        !number(lifetime, 0, MaxLifetimeS, o.lifetimeS))
        return result;
    const QPair<const QCommandLineOption *, double *> rates[] = {{&churnLeave, &o.churn.leave},
                                                                 {&churnBack, &o.churn.back},
                                                                 {&churnNew, &o.churn.appear},
                                                                 {&churnRenumber, &o.churn.renumber},
                                                                 {&churnChange, &o.churn.change}};
    for (const auto &rate : rates) {
        if (!parser.isSet(*rate.first))
            continue;
        bool ok = false;
        *rate.second = parser.value(*rate.first).toDouble(&ok);
        if (!ok || *rate.second < 0 || *rate.second > 100) {
            result.error =
                QStringLiteral("--%1 takes a per cent from 0 to 100").arg(rate.first->names().first());
            return result;
        }
    }
    if (parser.isSet(churnSeed)) {
        bool ok = false;
        o.churnSeed = parser.value(churnSeed).toULongLong(&ok);
        if (!ok) {
            result.error = QStringLiteral("--churn-seed takes a whole number from 0 to 2^64 - 1");
            return result;
        }
    }
    if (parser.isSet(subnet)) {
        o.subnet = Subnet::fromText(parser.value(subnet));
        if (!o.subnet) {
            result.error = QStringLiteral("--subnet takes an IPv4 address and a prefix length from %1 to %2, "
                                          "e.g. 198.18.0.0/24")
                               .arg(MinPrefix)
                               .arg(MaxPrefix);
            return result;
        }
    }
    for (const QString &text : parser.values(onlyFrom)) {
        const QHostAddress address(text);
        if (address.protocol() != QAbstractSocket::IPv4Protocol) {
            result.error = QStringLiteral("--only-from takes an IPv4 address, e.g. 198.18.1.1");
            return result;
        }
        o.onlyFrom.append(address);
    }
    // The habits, "I" or "I:ARGUMENT" with I one of the devices.
    auto habitOf = [&](const QString &text, bool withArgument) -> SetIpHabit * {
        const int colon = text.indexOf(QLatin1Char(':'));
        const auto device = boundedInt(withArgument ? text.left(colon) : text, 0, o.devices - 1);
        if (!device || (withArgument && colon < 0) || text.startsWith(QLatin1Char('+')))
            return nullptr;
        return &o.habits[*device];
    };
    for (const QString &text : parser.values(ignoreSetIp)) {
        SetIpHabit *habit = habitOf(text, false);
        if (!habit) {
            result.error = QStringLiteral("--ignore-setip takes a device number, 0 to %1").arg(o.devices - 1);
            return result;
        }
        habit->ignore = true;
    }
    for (const QString &text : parser.values(dropSetIp)) {
        SetIpHabit *habit = habitOf(text, true);
        const auto count = boundedInt(text.section(QLatin1Char(':'), 1), 1, MaxDevices);
        if (!habit || !count) {
            result.error = QStringLiteral("--drop-setip takes I:N, device I (0 to %1) drops N commands")
                               .arg(o.devices - 1);
            return result;
        }
        habit->drop = *count;
    }
    for (const QString &text : parser.values(misapplySetIp)) {
        SetIpHabit *habit = habitOf(text, true);
        const QString address = text.section(QLatin1Char(':'), 1);
        if (!habit || !parseIpv4(address)) {
            result.error = QStringLiteral("--misapply-setip takes I:ADDRESS, device I (0 to %1) takes "
                                          "ADDRESS in place of the address sent")
                               .arg(o.devices - 1);
            return result;
        }
        habit->otherAddress = address;
    }
    o.broadcast = parser.isSet(broadcast);
    o.readControl = !parser.isSet(noStdin);
    o.allowRealNetwork = parser.isSet(allowReal);
    return result;
}

QString usage()
{
    return QStringLiteral(
        "Usage: lanscout-devsim [options]\n"
        "Plays N devices that answer lanScout's discovery requests and take its set-IP commands.\n"
        "Runs only in a private network namespace (see testbed/run-in-testbed).\n"
        "\n"
        "  --devices N           number of devices, 1 to 100000 (default 3)\n"
        "  --broadcast           answer to 255.255.255.255:8888 instead of the sender\n"
        "  --spread MS           spread the replies to one request over MS ms (default 0)\n"
        "  --lifetime S          exit after S seconds (default 0: until quit)\n"
        "  --subnet A.B.C.D/P    subnet of the device addresses (default: that of the first\n"
        "                        IPv4 address of this namespace)\n"
        "  --only-from ADDRESS   answer only discovery requests from ADDRESS (repeatable), as\n"
        "                        devices behind one of the host's networks only\n"
        "  --ignore-setip I      device I ignores set-IP commands (repeatable)\n"
        "  --drop-setip I:N      device I drops its next N set-IP commands (each datagram counts)\n"
        "  --misapply-setip I:ADDRESS\n"
        "                        device I takes set-IP commands with ADDRESS in place of theirs\n"
        "  --churn-leave P, --churn-back P, --churn-new P, --churn-renumber P, --churn-change P\n"
        "                        per minute, P per cent of N devices stop answering, answer again,\n"
        "                        appear (new), take a new address, change another field\n"
        "  --churn-seed S        the seed of who and when (default 1: the same run every time)\n"
        "  --no-stdin            read no control commands (for runs in the background)\n"
        "  --allow-real-network  run even in the machine's own network namespace\n"
        "  -h, --help            this text\n"
        "  -v, --version         the version\n"
        "\n"
        "Standard input, one command a line: silence I, wake I (device I, from 0), quit,\n"
        "ignore-setip I, drop-setip I N, misapply-setip I ADDRESS, heed-setip I (take them as sent).\n"
        "The end of standard input ends the program too, unless --no-stdin is given.\n"
        "Standard output, one event a line (ms: milliseconds since start, hex: the exact bytes):\n"
        "  device <ms> <I> <hex of the reply device I sends>   at start and after every change\n"
        "  ready                                               bound, answering\n"
        "  rx <ms> <address> <port> <hex or ->                 every datagram received\n"
        "  setip <ms> <result> <I or -1>                       every set-IP command for a device\n"
        "  silence <ms> <I>, wake <ms> <I>                     a control command was carried out\n"
        "  ignore-setip, drop-setip, misapply-setip, heed-setip <ms> <I> [N or ADDRESS]  likewise\n"
        "  leave <ms> <I>, back <ms> <I>, new <ms> <I>          churn: stops, answers again, appears\n"
        "  renumber <ms> <I> <address>, change <ms> <I> <field> churn: before the device line\n");
}

std::optional<Control> parseControl(const QString &line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() == 1 && words[0] == QLatin1String("quit"))
        return Control{Control::Quit, -1, {}};
    static const QHash<QString, QPair<Control::Kind, int>> kinds{
        {QStringLiteral("silence"), {Control::Silence, 2}},
        {QStringLiteral("wake"), {Control::Wake, 2}},
        {QStringLiteral("ignore-setip"), {Control::IgnoreSetIp, 2}},
        {QStringLiteral("heed-setip"), {Control::HeedSetIp, 2}},
        {QStringLiteral("drop-setip"), {Control::DropSetIp, 3}},
        {QStringLiteral("misapply-setip"), {Control::MisapplySetIp, 3}},
    };
    const auto kind = kinds.constFind(words.value(0));
    if (kind == kinds.constEnd() || words.size() != kind->second)
        return std::nullopt;
    const auto device = boundedInt(words[1], 0, MaxDevices - 1);
    if (!device || words[1].startsWith(QLatin1Char('+')))
        return std::nullopt;
    Control c{kind->first, *device, words.value(2)};
    if ((c.kind == Control::DropSetIp &&
         (!boundedInt(c.argument, 1, MaxDevices) || c.argument.startsWith(QLatin1Char('+')))) ||
        (c.kind == Control::MisapplySetIp && !parseIpv4(c.argument)))
        return std::nullopt;
    return c;
}

QByteArray rxLine(qint64 ms, const QString &address, quint16 port, const QByteArray &datagram)
{
    return "rx " + QByteArray::number(ms) + ' ' + address.toLatin1() + ' ' + QByteArray::number(port) + ' ' +
           (datagram.isEmpty() ? QByteArray("-") : datagram.toHex()) + '\n';
}

} // namespace devsim
