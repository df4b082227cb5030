#include "doctor.h"

#include "format.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace cli {

namespace {

const QString ProblemLevel = QStringLiteral("problem"), WarningLevel = QStringLiteral("warning"),
              InfoLevel = QStringLiteral("info");

QString deviceName(const Device &d)
{
    return QStringLiteral("%1 (%2)").arg(d.rec.mac, d.rec.version);
}

QByteArray nullOr(const QString &text)
{
    return text.isEmpty() ? QByteArray("null") : jsonString(text);
}

QByteArray number(qint64 n)
{
    return n < 0 ? QByteArray("null") : QByteArray::number(n);
}

// The match of one nft expression on a UDP datagram to port 8888 arriving on an interface other than
// lo, as a new flow: 1 surely, 0 surely not, -1 can't tell.
int matchesOurs(const QJsonObject &match)
{
    const QString op = match.value(QLatin1String("op")).toString();
    const QJsonObject left = match.value(QLatin1String("left")).toObject();
    const QJsonValue right = match.value(QLatin1String("right"));
    // The values right stands for, ranges as "a-b".
    QJsonArray values = right.isObject() && right.toObject().contains(QLatin1String("set"))
                            ? right.toObject().value(QLatin1String("set")).toArray()
                        : right.isArray() ? right.toArray()
                                          : QJsonArray{right};
    auto holds = [&](const QJsonValue &wanted) {
        for (const QJsonValue &v : values) {
            const QJsonArray range = v.toObject().value(QLatin1String("range")).toArray();
            if (v == wanted ||
                (wanted.isDouble() && range.size() == 2 && range[0].toDouble() <= wanted.toDouble() &&
                 wanted.toDouble() <= range[1].toDouble()))
                return true;
        }
        return false;
    };
    auto verdict = [&](bool held) { return int(op == QLatin1String("!=") ? !held : held); };
    if (op != QLatin1String("==") && op != QLatin1String("!=") && op != QLatin1String("in"))
        return -1;
    const QJsonObject payload = left.value(QLatin1String("payload")).toObject();
    const QString protocol = payload.value(QLatin1String("protocol")).toString();
    const QString field = payload.value(QLatin1String("field")).toString();
    const QString meta = left.value(QLatin1String("meta")).toObject().value(QLatin1String("key")).toString();
    const QString ct = left.value(QLatin1String("ct")).toObject().value(QLatin1String("key")).toString();
    if ((protocol == QLatin1String("udp") || protocol == QLatin1String("th")) &&
        field == QLatin1String("dport"))
        return verdict(holds(8888));
    if (protocol == QLatin1String("tcp") || protocol == QLatin1String("icmp") ||
        protocol == QLatin1String("sctp"))
        return 0; // it names another protocol's header
    if (meta == QLatin1String("l4proto") ||
        (protocol == QLatin1String("ip") && field == QLatin1String("protocol")))
        return verdict(holds(QStringLiteral("udp")) || holds(17));
    if (ct == QLatin1String("state")) // replies to a broadcast are new flows to the kernel
        return verdict(holds(QStringLiteral("new")));
    if (meta == QLatin1String("iifname") || meta == QLatin1String("iif"))
        return holds(QStringLiteral("lo")) && op != QLatin1String("!=") ? 0 : -1;
    return -1;
}

} // namespace

QVector<Finding> findings(const QVector<InterfaceReport> &interfaces, const QVector<Device> &devices,
                          const SystemFacts &facts)
{
    QVector<Finding> found;
    auto add = [&](const QString &id, const QString &severity, const QString &iface, const QString &device,
                   const QString &message, const QString &advice) {
        found.append({id, severity, iface, device, message, advice});
    };
    const bool anyDevice = !devices.isEmpty();
    bool anyUsed = false, anyBindFailed = false;
    for (const InterfaceReport &i : interfaces) {
        anyUsed = anyUsed || i.skipped.isEmpty();
        anyBindFailed = anyBindFailed || (i.skipped.isEmpty() && !i.bound);
    }
    if (!anyUsed)
        add(QStringLiteral("no-interface"), ProblemLevel, {}, {},
            QStringLiteral("no interface is up with an IPv4 address%1, so nothing can be searched")
                .arg(std::any_of(
                         interfaces.begin(), interfaces.end(),
                         [](const InterfaceReport &i) { return i.skipped == QLatin1String("not chosen"); })
                         ? QStringLiteral(" among those chosen with --interface")
                         : QString()),
            QStringLiteral(
                "Connect the cable to the devices' network, bring that interface up and give it an "
                "IPv4 address (a static one of the devices' subnet if there is no DHCP server)."));
    const QString holder = facts.portHolder.isEmpty() ? QStringLiteral("another program") : facts.portHolder;
    if (facts.portHeld)
        add(QStringLiteral("port-held"), anyBindFailed ? ProblemLevel : WarningLevel, {}, {},
            QStringLiteral("%1 holds UDP port 8888 on this host").arg(holder),
            anyBindFailed
                ? QStringLiteral("Close %1 while searching; lanScout needs port 8888.").arg(holder)
                : QStringLiteral("Close %1 (lanScout's window too) while searching: a reply sent to "
                                 "this host's address reaches only one of the two programs.")
                      .arg(holder));
    if (facts.firewall.state == FirewallState::Blocks)
        add(QStringLiteral("firewall"), ProblemLevel, {}, {},
            QStringLiteral("the firewall may drop the devices' replies (UDP to port 8888): %1")
                .arg(facts.firewall.detail),
            facts.firewall.advice);
    else if (facts.firewall.state == FirewallState::Unknown)
        add(QStringLiteral("firewall"), InfoLevel, {}, {},
            QStringLiteral("the firewall's rules could not be read: %1").arg(facts.firewall.detail),
            QStringLiteral("If no device answers, check that the firewall lets UDP to port 8888 in."));

    QVector<InterfaceReport> sockets = interfaces;
    sockets.append(facts.listener); // its name is empty: it reads for every interface
    for (int at = 0; at < sockets.size(); ++at) {
        const InterfaceReport &i = sockets.at(at);
        const bool listener = at == sockets.size() - 1;
        if (!i.skipped.isEmpty() || (listener && !i.bound))
            continue;
        if (!listener && !i.bound) {
            add(QStringLiteral("bind-failed"), ProblemLevel, i.name, {},
                QStringLiteral("port 8888 could not be bound on %1: %2").arg(i.name, i.bindError),
                facts.portHeld ? QStringLiteral("Close %1, which holds the port.").arg(holder)
                               : QStringLiteral("Check that the address is still assigned and that no other "
                                                "program holds UDP port 8888."));
            continue;
        }
        if (!listener && i.devices == 0)
            add(QStringLiteral("no-reply"), anyDevice ? InfoLevel : ProblemLevel, i.name, {},
                QStringLiteral("no device answered on %1 in %2 s (%3 discovery requests sent)")
                    .arg(i.name)
                    .arg(facts.waitS)
                    .arg(i.sent),
                QStringLiteral("Check the cable and that the devices are powered and on this segment: "
                               "broadcasts do not pass routers."));
        if (i.ignored > 0)
            add(QStringLiteral("ignored-datagrams"), WarningLevel, i.name, {},
                QStringLiteral("%1 datagram(s) to port 8888%2 were not replies of these devices")
                    .arg(i.ignored)
                    .arg(listener ? QString() : QStringLiteral(" on ") + i.name),
                QStringLiteral("Another program or device sends to UDP port 8888 here: find it with "
                               "--capture and stop it if devices go missing."));
        if (i.kernelDrops > 0)
            add(QStringLiteral("kernel-drops"), ProblemLevel, i.name, {},
                QStringLiteral("the system dropped %1 datagram(s) for %2 before they could be read")
                    .arg(i.kernelDrops)
                    .arg(listener ? QStringLiteral("the broadcast listener") : i.name),
                QStringLiteral("Let the receive buffer grow: sysctl -w net.core.rmem_max=%1 (as root, and in "
                               "/etc/sysctl.d/ to keep it).")
                    .arg(std::max(i.bufferAsked, 8 * 1024 * 1024) / 2));
        if (i.bufferGranted > 0 && i.bufferGranted < i.bufferAsked)
            add(QStringLiteral("small-buffer"), WarningLevel, i.name, {},
                QStringLiteral("the receive buffer%1 holds %2 bytes where %3 were asked for: replies of many "
                               "devices answering at once may be lost")
                    .arg(listener ? QString() : QStringLiteral(" on ") + i.name)
                    .arg(i.bufferGranted)
                    .arg(i.bufferAsked),
                // Linux doubles what is asked for, up to twice this limit.
                QStringLiteral(
                    "Raise the limit: sysctl -w net.core.rmem_max=%1 (as root, and in /etc/sysctl.d/ "
                    "to keep it).")
                    .arg(i.bufferAsked / 2));
        if (!listener && i.rpFilter == 1)
            add(QStringLiteral("rp-filter"), WarningLevel, i.name, {},
                QStringLiteral("strict reverse-path filtering on %1 drops replies of devices whose address "
                               "lies outside its subnets")
                    .arg(i.name),
                QStringLiteral("Make it loose: sysctl -w net.ipv4.conf.all.rp_filter=2 "
                               "net.ipv4.conf.%1.rp_filter=2 (as root).")
                    .arg(i.name));
    }
    for (const Device &d : devices) {
        if (!d.notes)
            continue;
        const QString where = d.seenOn.value(0).interfaceName;
        if (!d.notes->reachable) {
            QStringList subnets;
            for (const InterfaceReport &i : interfaces) {
                if (i.name == where)
                    subnets << i.addresses;
            }
            add(QStringLiteral("off-subnet"), WarningLevel, where, d.rec.mac,
                QStringLiteral("device %1 reports %2, outside the subnets of %3 (%4): only a set-IP command "
                               "reaches it")
                    .arg(deviceName(d), d.rec.ipaddr, where, subnets.join(QLatin1String(", "))),
                QStringLiteral(
                    "Give it an address of this subnet: lanscout-cli set-ip --mac %1 --static ADDRESS "
                    "--mask MASK.")
                    .arg(d.rec.mac));
        }
        if (!d.notes->conflicts.isEmpty())
            add(QStringLiteral("duplicate-address"), ProblemLevel, where, d.rec.mac,
                QStringLiteral("device %1 reports %2, which %3 hold(s) too")
                    .arg(deviceName(d), d.rec.ipaddr, d.notes->conflicts.join(QLatin1String(", "))),
                QStringLiteral(
                    "Give one of them another address: lanscout-cli set-ip --mac %1 --static ADDRESS "
                    "--mask MASK.")
                    .arg(d.rec.mac));
    }
    // Problems first, then warnings, then notes; found order within each.
    std::stable_sort(found.begin(), found.end(), [](const Finding &a, const Finding &b) {
        auto rank = [](const QString &s) { return s == ProblemLevel ? 0 : s == WarningLevel ? 1 : 2; };
        return rank(a.severity) < rank(b.severity);
    });
    return found;
}

bool anyProblem(const QVector<Finding> &findings)
{
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding &f) { return f.severity == ProblemLevel; });
}

QByteArray doctorJson(const QVector<InterfaceReport> &interfaces, const QVector<Device> &devices,
                      const QVector<Finding> &findings)
{
    QByteArrayList items;
    for (const InterfaceReport &i : interfaces) {
        QByteArrayList addresses;
        for (const QString &a : i.addresses)
            addresses << jsonString(a);
        const bool used = i.skipped.isEmpty();
        items << jsonObject({{QStringLiteral("name"), jsonString(i.name)},
                             {QStringLiteral("addresses"), '[' + addresses.join(',') + ']'},
                             {QStringLiteral("up"), i.up ? "true" : "false"},
                             {QStringLiteral("used"), used ? "true" : "false"},
                             {QStringLiteral("skipped"), nullOr(i.skipped)},
                             {QStringLiteral("bound"), used && i.bound ? "true" : "false"},
                             {QStringLiteral("bind_error"), nullOr(i.bindError)},
                             {QStringLiteral("sent"), QByteArray::number(i.sent)},
                             {QStringLiteral("received"), QByteArray::number(i.received)},
                             {QStringLiteral("accepted"), QByteArray::number(i.accepted)},
                             {QStringLiteral("ignored"), QByteArray::number(i.ignored)},
                             {QStringLiteral("devices"), QByteArray::number(i.devices)},
                             {QStringLiteral("receive_buffer_asked"), number(used ? i.bufferAsked : -1)},
                             {QStringLiteral("receive_buffer_granted"), number(used ? i.bufferGranted : -1)},
                             {QStringLiteral("kernel_drops"), number(i.kernelDrops)},
                             {QStringLiteral("rp_filter"), number(i.rpFilter)}});
    }
    QByteArrayList found;
    for (const Finding &f : findings)
        found << jsonObject({{QStringLiteral("id"), jsonString(f.id)},
                             {QStringLiteral("severity"), jsonString(f.severity)},
                             {QStringLiteral("interface"), nullOr(f.interfaceName)},
                             {QStringLiteral("device"), nullOr(f.device)},
                             {QStringLiteral("message"), jsonString(f.message)},
                             {QStringLiteral("advice"), jsonString(f.advice)}});
    return jsonObject({{QStringLiteral("format_version"), "1"},
                       {QStringLiteral("interfaces"), '[' + items.join(',') + ']'},
                       {QStringLiteral("devices"), devicesJson(devices).trimmed()},
                       {QStringLiteral("findings"), '[' + found.join(',') + ']'}}) +
           '\n';
}

QByteArray doctorText(const QVector<InterfaceReport> &interfaces, const QVector<Device> &devices,
                      const QVector<Finding> &findings)
{
    QVector<QStringList> rows;
    for (const InterfaceReport &i : interfaces) {
        const QString addresses =
            i.addresses.isEmpty() ? QStringLiteral("-") : i.addresses.join(QLatin1Char(' '));
        if (!i.skipped.isEmpty()) {
            rows << QStringList{i.name, addresses, QStringLiteral("not used: ") + i.skipped};
            continue;
        }
        rows << QStringList{
            i.name, addresses,
            i.bound
                ? QStringLiteral("sent %1, received %2, replies %3, ignored %4, devices %5; "
                                 "buffer %6 of %7 bytes%8")
                      .arg(i.sent)
                      .arg(i.received)
                      .arg(i.accepted)
                      .arg(i.ignored)
                      .arg(i.devices)
                      .arg(i.bufferGranted)
                      .arg(i.bufferAsked)
                      .arg(i.kernelDrops < 0 ? QString() : QStringLiteral(", %1 dropped").arg(i.kernelDrops))
                : QStringLiteral("port 8888 not bound: ") + i.bindError};
    }
    QByteArray text =
        "Interfaces\n" +
        textTable({QStringLiteral("NAME"), QStringLiteral("IPV4"), QStringLiteral("WHAT HAPPENED")}, rows);
    text += "\nDevices\n" + (devices.isEmpty() ? QByteArray("(none)\n") : devicesTable(devices));
    text += "\nFindings\n";
    int problems = 0, warnings = 0;
    for (const Finding &f : findings) {
        problems += f.severity == ProblemLevel;
        warnings += f.severity == WarningLevel;
        text += QStringLiteral("%1 %2: %3\n    %4\n")
                    .arg(f.severity, f.id, plainText(f.message), plainText(f.advice))
                    .toUtf8();
    }
    if (findings.isEmpty())
        text += "(none)\n";
    text += QStringLiteral("\n%1 problem(s), %2 warning(s).\n").arg(problems).arg(warnings).toUtf8();
    return text;
}

Firewall nftFirewall(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonArray items =
        QJsonDocument::fromJson(json, &error).object().value(QLatin1String("nftables")).toArray();
    if (error.error != QJsonParseError::NoError || items.isEmpty())
        return {FirewallState::Unknown, QStringLiteral("nft printed no ruleset"), {}};
    const QString advice =
        QStringLiteral("Let the replies in, e.g. nft insert rule FAMILY TABLE CHAIN udp dport 8888 "
                       "accept (as root), or ask who keeps the firewall.");
    auto key = [](const QJsonObject &o) {
        return QStringList{
            o.value(QLatin1String("family")).toString(), o.value(QLatin1String("table")).toString(),
            o.value(QLatin1String("chain")).toString() + o.value(QLatin1String("name")).toString()};
    };
    auto fill = [&](const QStringList &k) {
        return QString(advice).replace(QLatin1String("FAMILY TABLE CHAIN"), k.join(QLatin1Char(' ')));
    };
    // Each input hook chain of an IPv4 family, with what its rules decided so far.
    struct Chain
    {
        QStringList key;
        QString policy;
        bool accepted = false; // a rule surely accepts the replies: what follows never sees them
    };
    QVector<Chain> chains;
    for (const QJsonValue &item : items) {
        const QJsonObject chain = item.toObject().value(QLatin1String("chain")).toObject();
        const QString family = chain.value(QLatin1String("family")).toString();
        if (chain.value(QLatin1String("hook")).toString() == QLatin1String("input") &&
            (family == QLatin1String("ip") || family == QLatin1String("inet")))
            chains.append({key(chain), chain.value(QLatin1String("policy")).toString()});
    }
    for (const QJsonValue &item : items) {
        const QJsonObject rule = item.toObject().value(QLatin1String("rule")).toObject();
        const auto chain =
            std::find_if(chains.begin(), chains.end(), [&](const Chain &c) { return c.key == key(rule); });
        if (rule.isEmpty() || chain == chains.end() || chain->accepted)
            continue;
        int match = 1;
        QString verdict;
        for (const QJsonValue &e : rule.value(QLatin1String("expr")).toArray()) {
            const QJsonObject expr = e.toObject();
            if (expr.contains(QLatin1String("match"))) {
                const int m = matchesOurs(expr.value(QLatin1String("match")).toObject());
                match = std::min(match, m == 0 ? -2 : m);
            }
            for (const char *v : {"accept", "drop", "reject"})
                verdict = expr.contains(QLatin1String(v)) ? QLatin1String(v) : verdict;
        }
        if (match == -2) // surely not ours
            continue;
        if (verdict == QLatin1String("accept") && match == 1)
            chain->accepted = true;
        else if (verdict == QLatin1String("drop") || verdict == QLatin1String("reject"))
            return {FirewallState::Blocks,
                    QStringLiteral("rule %1 of chain %2 (%3)")
                        .arg(rule.value(QLatin1String("handle")).toInt())
                        .arg(chain->key.join(QLatin1Char(' ')), verdict),
                    fill(chain->key)};
    }
    for (const Chain &c : qAsConst(chains)) {
        if (c.policy == QLatin1String("drop") && !c.accepted)
            return {FirewallState::Blocks,
                    QStringLiteral("chain %1 drops by policy and no rule accepts UDP to port 8888")
                        .arg(c.key.join(QLatin1Char(' '))),
                    fill(c.key)};
    }
    return {FirewallState::Open, QString(), QString()};
}

} // namespace cli
