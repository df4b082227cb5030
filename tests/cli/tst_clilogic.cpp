// The command line's own logic, without sockets: checks, plans, formats, verification, options.
// What the test-bed runs of tst_cli show (each refusal, CSV read back) is not repeated here.
// Rows of the form "input => expected" keep a case on one line.

#include "addresscheck.h"
#include "checks.h"
#include "conflicts.h"
#include "doctor.h"
#include "format.h"
#include "ipv4.h"
#include "options.h"
#include "plan.h"
#include "verify.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace cli;

namespace {

QStringList L(const QString &items, char sep = ',')
{
    return items.split(QLatin1Char(sep), Qt::SkipEmptyParts);
}
QString in(const QString &row)
{
    return row.section(QLatin1String(" => "), 0, 0);
}
QString out(const QString &row)
{
    return row.section(QLatin1String(" => "), 1);
}

// "static 198.18.0.77 255.255.255.0 198.18.0.1": ipways and the settings, in order.
DeviceRecord device(const QString &settings, const char *mac = "M", const char *version = "V")
{
    const QStringList f = settings.split(QLatin1Char(' '));
    DeviceRecord d;
    d.ipways = f.value(0), d.ipaddr = f.value(1), d.mask = f.value(2);
    d.gateway = f.value(3), d.dns1 = f.value(4), d.dns2 = f.value(5);
    d.mac = QString::fromUtf8(mac), d.version = QString::fromUtf8(version);
    return d;
}
DeviceRecord device(const char *settings, const char *mac = "M", const char *version = "V")
{
    return device(QString::fromUtf8(settings), mac, version);
}
SeenOn on(const char *address, const char *interfaceName)
{
    return {QString::fromUtf8(address), QString::fromUtf8(interfaceName)};
}

const Subnet Lan{0xC6120000, 24}; // 198.18.0.0/24
// A site: 0A and 0B, 0C in two versions, 0D on DHCP.
const QVector<Known> Site = {{device("static 198.18.0.10 255.255.255.0", "0A", "V1"), {Lan}},
                             {device("static 198.18.0.11 255.255.255.0", "0B", "V1"), {Lan}},
                             {device("static 198.18.0.12 255.255.255.0", "0C", "V1"), {Lan}},
                             {device("static 198.18.0.13 255.255.255.0", "0C", "V2"), {Lan}},
                             {device("dhcp 198.18.0.240 255.255.255.0", "0D", "V1"), {Lan}}};

} // namespace

class tst_CliLogic : public QObject
{
    Q_OBJECT
private slots:
    void requestChecks_data();
    void requestChecks();
    void plan_data();
    void plan();
    void verification_data();
    void verification();
    void formats_data();
    void formats();
    void events();
    void conflicts_data();
    void conflicts();
    void conflictEvents();
    void options_data();
    void options();
    void addressCheck_data();
    void addressCheck();
    void doctorFindings_data();
    void doctorFindings();
    void nftRules_data();
    void nftRules();
};

void tst_CliLogic::requestChecks_data()
{
    QTest::addColumn<QString>("row"); // settings => a piece of each problem, "|" between them
    QTest::newRow("sound static") << "static 198.18.0.77 255.255.255.0 198.18.0.1 198.18.0.53 => ";
    QTest::newRow("dhcp: no address to check") << "dhcp => ";
    QTest::newRow("mask /31") << "static 198.18.0.77 255.255.255.254 => no room";
    QTest::newRow("broadcast address")
        << "static 198.18.0.255 255.255.255.0 => broadcast address of 198.18.0.0/24";
    QTest::newRow("network address") << "static 198.18.0.0 255.255.255.0 => network address";
    QTest::newRow("mask not contiguous") << "static 198.18.0.77 255.0.255.0 => not contiguous";
    QTest::newRow("gateway elsewhere")
        << "static 198.18.0.77 255.255.255.0 198.18.1.1 => outside the new subnet";
    QTest::newRow("leading zero") << "static 198.18.0.077 255.255.255.0 => not a dotted";
    QTest::newRow("slash: can't be forced")
        << "static 198.18.0.77 255.255.255.0 198.18.0.1/24 => gateway holds";
    QTest::newRow("control character: can't be forced")
        << "static 198.18.0.77 255.255.255.0 \x01 => gateway holds";
}

void tst_CliLogic::requestChecks()
{
    QFETCH(QString, row);
    const QStringList problems = L(out(row), '|');
    const QVector<Problem> found = checkRequest(device(in(row)), {{Site[1].rec}, {Lan}});
    QCOMPARE(found.size(), problems.size());
    for (int i = 0; i < found.size(); ++i) {
        QVERIFY2(found[i].text.contains(problems[i]), qPrintable(found[i].text));
        QCOMPARE(found[i].forceable, !problems[i].endsWith(QLatin1String(" holds")));
    }
}

void tst_CliLogic::plan_data()
{
    QTest::addColumn<QString>("plan");
    QTest::addColumn<QString>("problems"); // "line: piece of the text", "|" between them
    QTest::newRow("byte order mark, header, small letters, a version picks one of two")
        << "\ufeffmac,version,mode,ip,mask,gateway,dns1,dns2\n0a,,dhcp\n 0C , V2 , Static , 198.18.0.50 , "
           "255.255.255.0"
        << "";
    QTest::newRow("rows that can't be read")
        << "0A,V1,bootp\n0A,V1,static,1.2.3.4\n0A,V1,dhcp,1.2.3.4\n0A,,dhcp,,,,,,x\n,V1,dhcp"
        << "1: mode \"bootp\"|2: needs ip and mask|3: takes no addresses|4: 9 fields|5: no mac";
    QTest::newRow("unknown and ambiguous devices, a device twice")
        << "0F,,dhcp\n0C,,dhcp\n0A,,dhcp\n0A,V1,dhcp"
        << "1: no device \"0F\"|2: names 2 devices: 0C V1, 0C V2|4: has a row already";
    QTest::newRow("two rows give one address")
        << "0A,,static,198.18.0.50,255.255.255.0\n0B,,static,198.18.0.50,255.255.255.0"
        << "2: 198.18.0.50 is given to line 1";
    QTest::newRow("the address of a device the plan leaves, and of one it moves")
        << "0A,,static,198.18.0.12,255.255.255.0\n0B,,static,198.18.0.10,255.255.255.0"
        << "1: held by another device (0C V1)";
    const QString mode(1 << 20, QLatin1Char('x')), mac(50, QLatin1Char('m')), ip(50, QLatin1Char('9'));
    QTest::newRow("long input quoted in part")
        << QStringLiteral("0A,V1,%1\n%2,,dhcp\n0A,,static,%3,255.255.255.0\n0B,,static,%3,255.255.255.0")
               .arg(mode, mac, ip)
        << QStringLiteral("1: mode \"%1...\" (1048576 characters) is neither|2: no device \"%2...\" (50 "
                          "characters) was|3: address \"%3...\" (50 characters) is not|4: address")
               .arg(mode.left(40), mac.left(40), ip.left(40));
    QTest::newRow("quoted comma, line break and quote, empty quoted field, quote inside a bare field")
        << "0A,\"\",dhcp\n\"0B\",V1,\"dh\r\ncp\"\n\"0,F\",,dhcp\n0\"F,,dhcp"
        << "2: mode \"dh\\x0d\\x0acp\"|4: no device \"0,F\"|5: no device \"0\"F\"";
    QTest::newRow("unterminated quote") << "0A,,dhcp\n\"open,\nstill"
                                        << "line 2: a double quote opens a field";
    QTest::newRow("text after the closing quote") << "\"0A\"b,,dhcp"
                                                  << "line 1: text after the closing";
    QTest::newRow("header row after a blank line, columns missing")
        << "\nmac,version,mode,ip\n"
        << "line 2: the header row must be mac,version,mode,ip,mask,gateway,dns1,dns2";
    QTest::newRow("a row's own checks") << "0A,,static,198.18.0.255,255.255.255.0"
                                        << "1: broadcast address";
    // The order of sending, where it is not the plan's: a move that frees an address goes first.
    QTest::newRow("a chain: each address freed before it is taken")
        << "0A,,static,198.18.0.11,255.255.255.0\n0B,,static,198.18.0.12,255.255.255.0\n"
           "0C,V1,dhcp"
        << "order: 3 2 1";
    QTest::newRow("a swap can't be ordered: refused")
        << "0A,,static,198.18.0.11,255.255.255.0\n0B,,static,198.18.0.10,255.255.255.0"
        << "1: lines 1 and 2 take each other's|2: lines 1 and 2 take each other's";
    QTest::newRow("a row that can't be sent frees nothing")
        << "0A,,static,198.18.0.11,255.255.255.0\n0B,,static,198.18.0.50,255.255.255.0,198.18.0.1/24"
        << "1: held by another device (0B V1)|2: gateway holds";
}

void tst_CliLogic::plan()
{
    QFETCH(QString, plan);
    QFETCH(QString, problems);
    QString error;
    QVector<PlanRow> rows = readPlan(plan, &error);
    const PlanCheck check = checkPlan(rows, Site);
    QStringList got = L(error, '|');
    QStringList order, planned;
    for (int r = 0; r < rows.size(); ++r) {
        for (const Problem &p : check.problems[r])
            got << QStringLiteral("%1: %2").arg(rows[r].line).arg(p.text);
        order << QString::number(rows[check.order.value(r)].line);
        planned << QString::number(rows[r].line);
    }
    if (order != planned)
        got << QStringLiteral("order: ") + order.join(QLatin1Char(' '));
    const QStringList expected = L(problems, '|');
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i) {
        const QString line = expected[i].section(QLatin1Char(':'), 0, 0) + QLatin1Char(':');
        QVERIFY2(got[i].startsWith(line) && got[i].contains(expected[i].mid(line.size() + 1)),
                 qPrintable(got[i]));
    }
    if (expected.isEmpty()) // the requests name the devices as they name themselves
        QCOMPARE(rows[0].request.mac + rows[1].request.version + rows[1].request.ipways,
                 QStringLiteral("0AV2static"));
}

void tst_CliLogic::verification_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<int>("retries");
    // "send@pass", or a reply "old@cnt", "new@cnt", "other@cnt" => a step per reply; the sends.
    QTest::addColumn<QString>("row");
    const char *fixed = "static 198.18.0.77 255.255.255.0 198.18.0.1";
    QTest::newRow("verified at the reply after the send")
        << fixed << 2 << "send@5,old@5,new@6 => wait,verified,1";
    QTest::newRow("dhcp: the mode alone") << "dhcp" << 2 << "send@5,other@6 => verified,1";
    QTest::newRow("old settings two passes after a send: again, up to the retries")
        << fixed << 1 << "send@5,old@6,old@7,send@7,old@8,old@9,old@12 => wait,resend,wait,wait,wait,2";
    QTest::newRow("other settings than asked") << fixed << 2 << "send@5,other@6 => mismatch,1";
    QTest::newRow("count wraps") << fixed << 2 << "send@4294967295,old@0,old@1 => wait,resend,1";
}

void tst_CliLogic::verification()
{
    QFETCH(QString, wanted);
    QFETCH(int, retries);
    QFETCH(QString, row);
    const DeviceRecord old = device("static 198.18.0.10 255.255.255.0 198.18.0.1");
    const SetIpRequest asked = device(wanted);
    Verification v(old, asked, retries);
    QStringList got;
    for (const QString &e : L(in(row))) {
        const QString what = e.section(QLatin1Char('@'), 0, 0);
        DeviceRecord seen = what == QLatin1String("new") ? asked : old;
        if (what == QLatin1String("other"))
            seen = device("dhcp 198.18.0.99 255.255.255.0");
        seen.cnt = e.section(QLatin1Char('@'), 1).toUInt();
        if (what == QLatin1String("send"))
            v.sent(seen.cnt);
        else
            got << L(QStringLiteral("wait,resend,verified,mismatch"))[int(v.reply(seen))];
    }
    QCOMPARE(got << QString::number(v.sends()), L(out(row)));
}

void tst_CliLogic::formats_data()
{
    QTest::addColumn<QString>("name"); // the device's extra field
    QTest::newRow("comma, quotes, CR LF") << "a, \"quoted\" name\r\nline two";
    QTest::newRow("a comma alone") << "left,right";
    QTest::newRow("terminal escapes and C1") << "\x1b[2J\x1b]0;owned\x07\u009b31m\u0085";
    QTest::newRow("bidi override, zero width, separators") << "\u202egnp.exe\u200b\u2066x\u2028\ufeff";
    QTest::newRow("wide and combining") << "设备\U0001F600e\u0301";
    QTest::newRow("backslash and a very long text") << QLatin1Char('\\') + QString(200, QLatin1Char('V'));
    QTest::newRow("TAB forges a field") << "x\tipaddr=203.0.113.9";
    QTest::newRow("Unicode spaces") << "a\u00a0b\u2003c\u3000ipaddr=203.0.113.9";
    QTest::newRow("invisible above U+FFFF: tags, musical format")
        << "02:00:00:00:00:01\U000E0041\U000E0001\U0001D173";
    QTest::newRow("formula") << "=HYPERLINK(\"http://203.0.113.9\")";
    QTest::newRow("formula behind a TAB") << "\t@SUM(A1)";
}

void tst_CliLogic::formats()
{
    QFETCH(QString, name);
    Device d{device("static 198.18.0.10 255.255.255.0"), {on("198.18.0.1", "eth0")}, {}};
    d.rec.extra = name;
    const QVector<Device> two{d, Device{device("dhcp"), {}, {}}};

    const QByteArray raw = devicesJson(two); // no raw control character, which JSON forbids
    QVERIFY(std::all_of(raw.begin(), raw.end(), [](char c) { return uchar(c) >= 0x20 || c == '\n'; }));
    const QJsonArray json = QJsonDocument::fromJson(raw).array();
    QCOMPARE(json[0][QLatin1String("extra")].toString(), name);
    QCOMPARE(json[0][QLatin1String("seen_on")][0][QLatin1String("interface")].toString(),
             QStringLiteral("eth0"));
    QCOMPARE(json[1].toObject().keys().size(), 10);
    // Shown on a terminal: no code point that drives it or hides.
    auto shown = [](const QString &text) {
        for (const uint c : text.toUcs4())
            QVERIFY2(QChar::category(c) != QChar::Other_Control &&
                         QChar::category(c) != QChar::Other_Format && c != QChar::LineSeparator &&
                         (c < 0xe0000 || c > 0xe0fff),
                     qPrintable(QString::number(c, 16)));
    };
    // CSV: piped, the name as it was (a formula behind a ', which a plan drops); on a terminal, as
    // the table shows it.
    const auto cellOf = [](const QString &text) { // what a spreadsheet would run as a formula
        const bool formula = !text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text[0]);
        return (formula ? QStringLiteral("'") : QString()) + text;
    };
    QString error;
    for (const bool terminal : {false, true}) {
        const QString csv = QString::fromUtf8(devicesCsv(two, terminal));
        QCOMPARE(readCsv(csv, &error).value(1).fields.value(8), cellOf(terminal ? plainText(name) : name));
        if (terminal)
            shown(QString(csv).remove(QLatin1String("\r\n")));
    }
    const QByteArray row = csvRecord({name, QStringLiteral("V"), QStringLiteral("dhcp")});
    QCOMPARE(readPlan(QString::fromUtf8(row), &error).value(0).mac, name.trimmed());

    // watch: a word per field, whatever the name holds, read back as the table shows it.
    const QString line =
        QString::fromUtf8(eventLine(Format::Text, QDateTime::currentDateTime(), Event::Added, d));
    shown(line.chopped(1));
    QStringList words{QString()};
    bool inQuotes = false;
    for (int i = 0; i < line.size() - 1; ++i) {
        if (inQuotes && line[i] == QLatin1Char('\\'))
            words.last() += line[++i];
        else if (line[i] == QLatin1Char('"'))
            inQuotes = !inQuotes;
        else if (!inQuotes && line[i].isSpace())
            words << QString();
        else
            words.last() += line[i];
    }
    QCOMPARE(words.size(), 12);
    QCOMPARE(words[10], QStringLiteral("extra=") + plainText(name));

    // The table: plain text only, and the last column starts at one place on every line.
    const QStringList lines =
        QString::fromUtf8(devicesTable(two)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    shown(lines.join(QString()));
    const int column = displayWidth(lines[0].left(lines[0].indexOf(QLatin1String("seen_on"))));
    QCOMPARE(displayWidth(lines[1].left(lines[1].indexOf(QLatin1String("198.18.0.1 (eth0)")))), column);
    QVERIFY(column < 200);
}

void tst_CliLogic::events()
{
    QByteArrayList lines;
    DeviceTable table;
    const QDateTime at = QDateTime::fromString(QStringLiteral("2026-12-07T10:00:00.250Z"), Qt::ISODateWithMs);
    table.added = [&](const Device &d) { lines << eventLine(Format::Jsonl, at, Event::Added, d); };
    table.changed = [&](const Device &d, const QStringList &f, const DeviceRecord &was) {
        lines << eventLine(Format::Jsonl, at, Event::Changed, d, f, was)
              << eventLine(Format::Text, at, Event::Changed, d, f, was);
    };
    table.removed = [&](const Device &d) { lines << eventLine(Format::Text, at, Event::Removed, d); };
    DeviceRecord a = device("static 198.18.0.10 255.255.255.0", "A", "V1");
    table.appendDevice(a, on("198.18.0.1", "eth0"));
    table.refreshDevice(0, a, false, on("198.18.0.1", "eth0")); // nothing new: no event
    a.ipaddr = QStringLiteral("198.18.0.77"), a.extra = QStringLiteral("new name");
    table.refreshDevice(0, a, true, on("198.18.1.1", "eth1"));
    table.removeDeviceRows(0, 2); // out of range: refused
    table.removeDeviceRows(0, 1);

    QCOMPARE(lines.size(), 4);
    QCOMPARE(QJsonDocument::fromJson(lines[0])[QLatin1String("time")].toString(),
             QStringLiteral("2026-12-07T10:00:00.250Z"));
    const QJsonObject changed = QJsonDocument::fromJson(lines[1]).object();
    QCOMPARE(changed[QLatin1String("fields")].toVariant().toStringList(),
             L(QStringLiteral("ipaddr,extra,seen_on")));
    QCOMPARE(changed[QLatin1String("was")][QLatin1String("ipaddr")].toString(),
             QStringLiteral("198.18.0.10"));
    QCOMPARE(changed[QLatin1String("device")][QLatin1String("seen_on")].toArray().size(), 2);
    QCOMPARE(lines[2],
             QByteArray("2026-12-07T10:00:00.250Z changed mac=A version=V1 ipaddr=198.18.0.10->198.18.0.77 "
                        "extra=\"\"->\"new name\" seen_on=\"198.18.0.1 (eth0); 198.18.1.1 (eth1)\"\n"));
    QCOMPARE(lines[3], QByteArray("2026-12-07T10:00:00.250Z removed mac=A version=V1 ipaddr=198.18.0.77\n"));
    QCOMPARE(table.deviceCount(), 0);
}

void tst_CliLogic::conflicts_data()
{
    QTest::addColumn<QString>("row"); // mac=address ... => each one's other holders | ...; in reach
    QTest::newRow("two on one address, one apart") << "A=198.18.0.10 B=198.18.0.10 C=198.18.0.11 => B|A| yyy";
    QTest::newRow("three on one address") << "A=198.18.0.5 B=198.18.0.5 C=198.18.0.5 => B,C|A,C|A,B yyy";
    QTest::newRow("one on this host's address") << "A=198.18.0.1 => host y";
    QTest::newRow("the same address written otherwise, or no address")
        << "A=198.18.0.7 B=198.18.0.07 C= D= => ||| ynnn";
    QTest::newRow("outside the subnets that saw them") << "A=10.0.0.5 B=10.0.0.5 => B|A nn";
}

void tst_CliLogic::conflicts()
{
    QFETCH(QString, row);
    QVector<Device> devices;
    for (const QString &d : L(in(row), ' ')) {
        devices << Device{device(QStringLiteral("static ") + d.section(QLatin1Char('='), 1)), {}, {}};
        devices.last().rec.mac = d.section(QLatin1Char('='), 0, 0);
    }
    const QVector<QStringList> found = addressConflicts(devices, {0xC6120001}); // 198.18.0.1
    QStringList holders;
    QString reach;
    for (int i = 0; i < devices.size(); ++i) {
        holders << found[i].join(QLatin1Char(','));
        reach += QLatin1Char(reachableFrom(devices[i].rec, {Lan}) ? 'y' : 'n');
    }
    QCOMPARE(holders.join(QLatin1Char('|')) + QLatin1Char(' ') + reach, out(row));
}

// watch's conflict lines as devices come, move and go.
void tst_CliLogic::conflictEvents()
{
    ConflictTracker tracker({0xC6120001});
    QStringList got;
    auto step = [&](const char *mac, const char *was, const char *now) {
        for (const auto &c : tracker.move(device("dhcp", mac), QLatin1String(was), QLatin1String(now)))
            got << c.ipaddr + QLatin1Char(' ') +
                       (c.resolved() ? QStringLiteral("resolved ") : QStringLiteral("conflict ")) +
                       c.holders.join(QLatin1Char(','));
    };
    step("A", "", "198.18.0.10");
    step("B", "", "198.18.0.10");           // begins
    step("C", "", "198.18.0.10");           // a third
    step("B", "198.18.0.10", "198.18.0.1"); // leaves one of three, onto the host's
    step("C", "198.18.0.10", "");           // gone: ends
    step("B", "198.18.0.1", "198.18.0.11"); // off the host's
    QCOMPARE(got.join(QLatin1String("; ")),
             QStringLiteral("198.18.0.10 conflict A,B; 198.18.0.10 conflict A,B,C; 198.18.0.10 conflict A,C; "
                            "198.18.0.1 conflict B,host; 198.18.0.10 resolved A; 198.18.0.1 resolved host"));
    const QJsonObject line = QJsonDocument::fromJson(conflictLine(Format::Jsonl, QDateTime::currentDateTime(),
                                                                  QStringLiteral("198.18.0.1"),
                                                                  {QStringLiteral("B"), hostHolder()}))
                                 .object();
    QCOMPARE(line[QLatin1String("holders")].toVariant().toStringList(), L(QStringLiteral("B,host")));
}

void tst_CliLogic::options_data()
{
    QTest::addColumn<QString>("row"); // arguments => the start of "error: ...", "text: ..." or a summary
    QTest::newRow("trace, wait in decimals, csv")
        << "--trace list --wait 0.5 --format csv => list 500 csv trace";
    QTest::newRow("set-ip static")
        << "set-ip --mac M --static 1.2.3.4 --mask 255.0.0.0 --retries 0 --timeout 4 "
           "=> set-ip 3000 table static 1.2.3.4 255.0.0.0 r0 t4000";
    QTest::newRow("format of another command")
        << "list --format jsonl => error: --format takes table|json|csv";
    QTest::newRow("option of another command") << "list --mac M => error: list takes no --mac";
    QTest::newRow("both modes")
        << "set-ip --mac M --dhcp --static 1.2.3.4 --mask 255.0.0.0 => error: set-ip needs either";
    QTest::newRow("dhcp with a mask") << "set-ip --mac M --dhcp --mask 255.0.0.0 => error: --dhcp takes no";
    QTest::newRow("static without a mask")
        << "set-ip --mac M --static 1.2.3.4 => error: --static needs --mask";
    QTest::newRow("a watch of 30 days, past a timer's 24.8")
        << "watch --duration 2592000 => watch d2592000000";
    QTest::newRow("conflict check skipped yet required")
        << "set-ip --mac M --dhcp --no-conflict-check --require-free => error: --require-free needs";
    QTest::newRow("a duration that rounds to 0 ms") << "watch --duration 0.0004 => error: --wait, --duration";
    QTest::newRow("undo: a device or the last change") << "undo --last --mac M => error: undo needs either";
    QTest::newRow("a journal and none") << "set-ip --journal j --no-journal => error: --journal takes a file";
    QTest::newRow("unknown command quoted in part")
        << QStringLiteral("%1 => error: unknown command \"%2...\" (50 characters)")
               .arg(QString(50, QLatin1Char('x')), QString(40, QLatin1Char('x')));
}

void tst_CliLogic::options()
{
    QFETCH(QString, row);
    const Parsed p =
        parseArguments(QStringList{QStringLiteral("lanscout-cli")} + in(row).split(QLatin1Char(' ')));
    const Options &o = p.options;
    QString got = QStringLiteral("%1 %2 %3")
                      .arg(QStringLiteral(",list,watch,set-ip,apply")
                               .section(QLatin1Char(','), int(o.command), int(o.command)))
                      .arg(o.waitMs)
                      .arg(L(QStringLiteral("table,json,csv,text,jsonl"))[int(o.format)]);
    if (o.trace)
        got += QStringLiteral(" trace");
    if (o.command == Command::Watch)
        got = QStringLiteral("watch d%1").arg(o.durationMs);
    if (o.command == Command::SetIp)
        got += QStringLiteral(" %1 %2 %3 r%4 t%5")
                   .arg(o.request.ipways, o.request.ipaddr, o.request.mask)
                   .arg(o.retries)
                   .arg(o.timeoutMs);
    got = !p.error.isEmpty()  ? QStringLiteral("error: ") + p.error
          : !p.text.isEmpty() ? QStringLiteral("text: ") + p.text
                              : got;
    QVERIFY2(got.startsWith(out(row)), qPrintable(got));
}

// The ARP check's reading of MACs and answers, and the interface an address is asked on.
void tst_CliLogic::addressCheck_data()
{
    // "mac A B", "interface ADDRESS", or "KIND MAC,... [require-free]" for 198.18.0.99 and the
    // device 02:00:00:00:00:01 beside the found device 02:00:00:00:00:0b
    QTest::addColumn<QString>("row");
    QTest::newRow("mac: colons, dashes, none, letter case")
        << "mac 02:00:00:00:00:0A 02-00-00-00-00-0a => same; mac 02:00:00:00:00:0a 02000000000A => same";
    QTest::newRow("mac: another, too short, not hex")
        << "mac 02:00:00:00:00:01 02:00:00:00:00:02 => other; mac 02:00:00:00:00 02:00:00:00:00 => other; "
           "mac 02:00:00:00:00:0g 02:00:00:00:00:0g => other";
    QTest::newRow("interface: the narrowest subnet, none outside")
        << "interface 198.18.0.99 => eth1; interface 198.18.7.1 => eth0; interface 10.1.2.3 => none";
    QTest::newRow("answered by another host: refused, its MAC named")
        << "answered 02:00:00:00:00:01,9A-00-00-00-00-99 => refuse address in use: 198.18.0.99 answers "
           "ARP from 9a:00:00:00:00:99, not the device's 02:00:00:00:00:01";
    QTest::newRow("answered by the device, or a device found: no conflict")
        << "answered 020000000001,02:00:00:00:00:0B => go 198.18.0.99 answers ARP from "
           "02:00:00:00:00:01, 02:00:00:00:00:0b, a device found";
    QTest::newRow("no answer: nothing to say") << "free  => go ";
    QTest::newRow("only an old cache entry: goes on, or refused with --require-free")
        << "cached 9a:00:00:00:00:99 => go can't tell whether 198.18.0.99 is free; "
           "cached 9a:00:00:00:00:99 require-free => refuse can't tell";
    QTest::newRow("not checked: goes on, or refused with --require-free")
        << "unchecked  => go address-conflict check not run for 198.18.0.99: why; "
           "unchecked  require-free => refuse address-conflict check not run";
}

void tst_CliLogic::addressCheck()
{
    QFETCH(QString, row);
    const QVector<LocalInterface> locals{{QStringLiteral("lo"), 1, {}, false, 0x7F000001, {0x7F000000, 8}},
                                         {QStringLiteral("eth0"), 2, {}, true, 0xC6120001, {0xC6120000, 16}},
                                         {QStringLiteral("eth1"), 3, {}, true, 0xC6120001, {0xC6120000, 24}}};
    for (const QString &one : row.split(QStringLiteral("; "))) {
        const QStringList w = in(one).split(QLatin1Char(' '));
        QString got;
        if (w[0] == QLatin1String("mac")) {
            got = sameMac(w[1], w[2]) ? QStringLiteral("same") : QStringLiteral("other");
        } else if (w[0] == QLatin1String("interface")) {
            const int at = interfaceFor(*parseIpv4(w[1]), locals);
            got = at < 0 ? QStringLiteral("none") : locals[at].name;
        } else {
            const auto kind =
                ArpResult::Kind(L(QStringLiteral("free,answered,cached,unchecked")).indexOf(w[0]));
            const Verdict v =
                conflictVerdict(QStringLiteral("198.18.0.99"), QStringLiteral("02:00:00:00:00:01"),
                                {QStringLiteral("02-00-00-00-00-0B")}, {kind, L(w[1]), QStringLiteral("why")},
                                w.value(2) == QLatin1String("require-free"));
            got = (v.refuse ? QStringLiteral("refuse ") : QStringLiteral("go ")) + v.text;
        }
        QVERIFY2(got.startsWith(out(one)), qPrintable(one + QStringLiteral(" -> ") + got));
    }
}

void tst_CliLogic::doctorFindings_data()
{
    QTest::addColumn<QString>("row"); // what differs from a sound run => severity:id of each finding
    QTest::newRow("sound") << " => ";
    QTest::newRow("interface down") << "down => problem:no-interface";
    QTest::newRow("port held, bind failed") << "held unbound => problem:port-held problem:bind-failed";
    QTest::newRow("port shared with another program") << "held => warning:port-held";
    QTest::newRow("nothing answered") << "silent => problem:no-reply";
    QTest::newRow("drops and a small buffer, listener too")
        << "drops small listener-drops => problem:kernel-drops problem:kernel-drops warning:small-buffer";
    QTest::newRow("strict rp_filter, device elsewhere, twice on one address")
        << "rp off-subnet duplicate => problem:duplicate-address warning:rp-filter warning:off-subnet";
    QTest::newRow("firewall unknown, junk on the port")
        << "unknown-firewall junk => warning:ignored-datagrams info:firewall";
}

void tst_CliLogic::doctorFindings()
{
    QFETCH(QString, row);
    const QStringList given = row.section(QLatin1String(" => "), 0, 0).split(QLatin1Char(' '));
    auto has = [&](const char *word) { return given.contains(QLatin1String(word)); };
    InterfaceReport eth;
    eth.name = QStringLiteral("eth0"), eth.addresses = QStringList{QStringLiteral("198.18.0.1/24")};
    eth.up = !has("down"), eth.skipped = has("down") ? QStringLiteral("down") : QString();
    eth.bound = !has("unbound");
    eth.sent = 5, eth.received = eth.accepted = 5, eth.devices = has("silent") ? 0 : 1;
    eth.ignored = has("junk") ? 3 : 0;
    eth.bufferAsked = 8388608, eth.bufferGranted = has("small") ? 425984 : 8388608;
    eth.kernelDrops = has("drops") ? 7 : 0;
    eth.rpFilter = has("rp") ? 1 : 2;
    SystemFacts facts;
    facts.portHeld = has("held");
    facts.firewall.state = has("unknown-firewall") ? FirewallState::Unknown : FirewallState::Open;
    facts.listener.bound = true, facts.listener.kernelDrops = has("listener-drops") ? 2 : 0;
    QVector<Device> devices;
    if (!has("silent")) {
        devices.append(Device{device("static 198.18.0.10 255.255.255.0", "0A"),
                              {{QStringLiteral("198.18.0.1"), eth.name}},
                              Device::Notes{}});
        devices[0].notes->reachable = !has("off-subnet");
        if (has("duplicate"))
            devices[0].notes->conflicts << QStringLiteral("02:00:00:00:00:09");
    }
    QStringList got;
    for (const Finding &f : findings({eth}, devices, facts))
        got << f.severity + QLatin1Char(':') + f.id;
    QCOMPARE(got.join(QLatin1Char(' ')), row.section(QLatin1String(" => "), 1));
}

void tst_CliLogic::nftRules_data()
{
    // A chain of the input hook with its policy, then rules: their matches and verdict as nft -j
    // writes them.
    QTest::addColumn<QString>("chain");
    QTest::addColumn<QString>("rules"); // JSON expression lists, ";" between rules
    QTest::addColumn<int>("state");     // FirewallState
    const QString udp8888 = QStringLiteral(
        R"({"match":{"op":"==","left":{"payload":{"protocol":"udp","field":"dport"}},"right":8888}})");
    const QString ssh = QStringLiteral(
        R"({"match":{"op":"==","left":{"payload":{"protocol":"tcp","field":"dport"}},"right":22}})");
    const QString established = QStringLiteral(
        R"({"match":{"op":"in","left":{"ct":{"key":"state"}},"right":["established","related"]}})");
    const QString range = QStringLiteral(
        R"({"match":{"op":"==","left":{"payload":{"protocol":"th","field":"dport"}},"right":{"set":[{"range":[8000,9000]}]}}})");
    auto row = [](const char *name, const char *chain, const QString &rules, FirewallState state) {
        QTest::newRow(name) << QString::fromUtf8(chain) << rules << int(state);
    };
    const auto open = FirewallState::Open, blocks = FirewallState::Blocks;
    row("no rules", "accept", {}, open);
    row("udp 8888 dropped", "accept", udp8888 + QStringLiteral(R"(,{"drop":null})"), blocks);
    row("a port range rejected", "accept", range + QStringLiteral(R"(,{"reject":null})"), blocks);
    row("only ssh dropped", "accept", ssh + QStringLiteral(R"(,{"drop":null})"), open);
    row("policy drop, 8888 let in", "drop", udp8888 + QStringLiteral(R"(,{"accept":null})"), open);
    row("policy drop, only replies to flows let in", "drop",
        established + QStringLiteral(R"(,{"accept":null})"), blocks);
    row("let in, then everything dropped", "accept",
        udp8888 + QStringLiteral(R"(,{"accept":null};{"drop":null})"), open);
    row("invalid flows dropped", "accept",
        QStringLiteral(
            R"({"match":{"op":"in","left":{"ct":{"key":"state"}},"right":"invalid"}},{"drop":null})"),
        open);
    row("not a ruleset", "", {}, FirewallState::Unknown);
}

void tst_CliLogic::nftRules()
{
    QFETCH(QString, chain);
    QFETCH(QString, rules);
    QFETCH(int, state);
    QStringList items{
        QStringLiteral(R"({"metainfo":{}})"),
        QStringLiteral(R"({"chain":{"family":"inet","table":"f","name":"in","hook":"input","policy":"%1"}})")
            .arg(chain)};
    for (const QString &rule : rules.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        items << QStringLiteral(
                     R"({"rule":{"family":"inet","table":"f","chain":"in","handle":4,"expr":[%1]}})")
                     .arg(rule);
    const QString json = chain.isEmpty()
                             ? QStringLiteral("nft: no")
                             : QStringLiteral(R"({"nftables":[%1]})").arg(items.join(QLatin1Char(',')));
    const Firewall got = nftFirewall(json.toUtf8());
    QVERIFY2(int(got.state) == state, qPrintable(got.detail));
}

QTEST_APPLESS_MAIN(tst_CliLogic)
#include "tst_clilogic.moc"
