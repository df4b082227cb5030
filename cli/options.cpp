#include "options.h"

#include <QCommandLineParser>

#include <cmath>

namespace cli {

namespace {

const char Usage[] = R"(Usage: lanscout-cli [--trace] COMMAND [options]

Finds the devices on the local networks as lanScout's window does (UDP broadcast from port
8888 of every IPv4 address, at once and every second), lists them, follows them, and sets
their addresses, checking that each change took effect. Data goes to standard output,
messages to standard error.

Commands:
  list     every device found within a wait
  watch    a line for every device added, changed or removed, until stopped
  set-ip   switch one device to DHCP or to a static address, and verify it
  apply    set many devices from a CSV plan, one after the other, each verified
  history  the changes set-ip, apply and undo made, from their journal
  undo     put a device back to the settings it had before its latest change
  doctor   why devices are not found: each interface, the devices, and advice
  snapshot the devices found, as JSON: a site's baseline to compare with later
  diff     the devices found now (or a second snapshot) against a baseline
Run "lanscout-cli COMMAND --help" for the options of a command.

Options:
  --trace        the traffic ("tx:", "rx:" lines) and the device list dump on standard error
  -h, --help     this text
  -v, --version  the version

--interface NAME (repeatable), on every command that opens sockets: only the addresses of
those interfaces are used; an unknown name is refused with the names there are (exit 2).

Exit codes:
  0  done (set-ip and apply: every device verified)
  1  doctor found a problem; diff found a difference
  2  bad input, or refused by a check
  3  device not found
  4  not seen with the new settings in time
  5  seen with other settings than asked
  6  address in use: another host answers ARP for it (nothing sent)
  7  no usable interface: no IPv4 address up, or port 8888 taken on every one
  130, 143  ended by SIGINT or SIGTERM (set-ip and apply print what was done first)

Journal: set-ip, apply and undo append each change they send (the device's settings before,
the ones asked for, then the outcome) to --journal FILE, else $LANSCOUT_JOURNAL, else
$XDG_STATE_HOME/lanscout/journal.jsonl (~/.local/state/lanscout/journal.jsonl; on Windows
%LOCALAPPDATA%\lanScout\journal.jsonl). A journal that can't be written refuses the change
before anything is sent (exit 2), unless --no-journal.

Alongside lanScout's window: both programs bind port 8888 with address sharing. A reply a
device sends by broadcast reaches both; one sent to this host's address reaches only one of
them, so either may miss devices, and a verification may time out. lanscout-cli warns when
another program holds the port.
)";

const char ListUsage[] = R"(Usage: lanscout-cli list [--wait S] [--format table|json|csv]

Searches for S seconds (default 3), then prints every device found: its nine reply fields and
seen_on, the local addresses (and interfaces) whose sockets read its replies. No device found:
the format's empty output, a note on standard error, exit 0. No usable interface (nothing could
be heard at all): a note on standard error, exit 7.
)";

const char WatchUsage[] = R"(Usage: lanscout-cli watch [--format text|jsonl] [--duration S] [--baseline FILE]

Searches without end and prints a line with an ISO 8601 time for every device added, changed
(naming the fields) or removed (when it missed four discoveries, as the window drops it).
Ends after S seconds, or on SIGINT or SIGTERM (Ctrl-C on Windows), with exit 0; exit 7 at
once when no usable interface could be opened.

--baseline FILE (a snapshot, see snapshot) adds lines against it, by MAC: "missing" for a device
of the snapshot not found in the first four discoveries or removed later, "returned" when it is
found again, "new" for a device the snapshot lacks, and "moved" (from, to) when a device of the
snapshot is found at another address than its last (the snapshot's at first). A snapshot that
can't be read is refused before anything is searched (exit 2).
)";

const char SetIpUsage[] = R"(Usage: lanscout-cli set-ip --mac M [--version V]
           (--dhcp | --static IP --mask MASK [--gateway G] [--dns1 D] [--dns2 D])
           [--timeout S] [--retries K] [--force] [--dry-run] [--wait S] [--format table|json]
           [--no-conflict-check | --require-free]

Searches for --wait seconds (default 3) and finds the one device with MAC M (letter case
aside), and version V if given. Refuses, with the reason, a malformed address, a mask that
is not contiguous, the network or broadcast address of the new subnet, a gateway outside it,
an address another device holds, or one outside every subnet of the interface that sees the
device; --force sends it anyway. Then sends the set-IP command that lanScout's dialog would
(in place of the next discovery) and follows the device until it reports the new settings,
sending again up to K times (default 2) while it still reports its old ones two discoveries
after a send. Just before it sends, it looks again that no other device holds the address.
Prints the device as it last reported itself. --dry-run prints the command's bytes (with
--format json, {"command": ..., "device": ...}) and sends nothing.

A static address is first asked for by ARP on the local interface whose subnet holds it (for
1 s): a host other than the device that answers refuses the change, naming its MAC (exit 6).
Where no local subnet holds the address, or the check can't tell, it says so and goes on;
--require-free refuses then (exit 6). --no-conflict-check skips it. --dry-run runs it too.

Before the command goes out, the change is appended to the journal (--journal FILE, else
$LANSCOUT_JOURNAL, else the default place: see lanscout-cli --help), and its outcome once
known; a journal that can't be written refuses it (exit 2). --no-journal writes none.

Exit codes: 0 verified (or nothing to change); 2 bad input or refused; 3 device not found;
4 not seen with the new settings within S seconds (--timeout, default 15); 5 seen with
other settings than asked; 6 address in use; 7 no usable interface; 130/143 ended by
SIGINT/SIGTERM (the command is taken back if it had not gone out yet, and the device printed
as last seen).
)";

const char ApplyUsage[] =
    R"(Usage: lanscout-cli apply (PLAN.csv | --from-baseline SNAPSHOT.json) [--format table|json]
           [--timeout S] [--retries K]
           [--force] [--dry-run] [--wait S] [--journal FILE | --no-journal]
           [--no-conflict-check | --require-free]

PLAN.csv has a row per device: mac,version,mode,ip,mask,gateway,dns1,dns2 (a header row of
these names may come first; version may be empty; mode is static or dhcp). After a search of
--wait seconds (default 3) the whole plan is checked before anything is sent: rows that can't
be read, devices not found or not told apart, two rows giving one address, an address held by
a device the plan does not move, rows that take each other's addresses (a swap: go through a
free address), and every check of set-ip. Any problem: all are listed and nothing is sent
(exit 2), unless --force, which sends what can be sent. Then one device after the other, each
verified as set-ip does it, a move that frees an address before the move that takes it; just
before each send, a row whose address a device still holds is skipped ("held"). A summary line
per row, in the plan's order (with --format json and --dry-run, the command's bytes in it).
On SIGINT or SIGTERM: nothing more is sent, the summary marks the rows not reached, exit
130 or 143. Each row sent is journaled as set-ip journals it. Before anything is sent, the
static addresses of all rows are asked for by ARP at once, as set-ip does it: any conflict,
all are listed and nothing is sent (exit 6).

Exit codes: 0 every device verified; 2 plan refused, nothing sent; 6 an address in use, nothing
sent; 7 no usable interface;
otherwise the highest exit code of set-ip among its rows, where once anything was sent a row
not sent counts as 4 (3 when its device was not found).

--from-baseline takes the plan from a snapshot (see snapshot): every device of it found at
another address than the snapshot's, or with DHCP where it had a static address or the other
way round, is put back to its settings there (static: address, mask, gateway, DNS; or DHCP),
found by its MAC whatever its version now. A device not found is said and left out; the others
go through the checks, journal and verification above, a summary line each ("line": its entry
in the snapshot, from 1). A snapshot that can't be read is refused with the reason (exit 2).
)";

const char SnapshotUsage[] = R"(Usage: lanscout-cli snapshot [--wait S] [-o FILE]

Searches for S seconds (default 3) and prints the devices found as one JSON object, the
site's baseline for diff, watch --baseline and apply --from-baseline:
  {"format_version": 1, "taken": ISO 8601 time, "host": {"name": ..., "interfaces":
   [{"name": ..., "addresses": ["A.B.C.D/P", ...]}]}, "devices": [as list --format json]}
-o FILE writes it to FILE through a temporary file renamed into place, so that an interrupted
run leaves FILE as it was. SIGINT or SIGTERM before the end writes nothing.

Exit codes: 0 written; 2 FILE can't be written; 7 no usable interface.
)";

const char DiffUsage[] = R"(Usage: lanscout-cli diff BASELINE.json [--wait S] [--format text|json]
       lanscout-cli diff BASELINE.json OTHER.json [--format text|json]

Compares the devices found within S seconds (default 3) with a snapshot, or two snapshots with
no network at all. A device is the same device by its MAC, letter case and separators (: - .)
aside; a new version is a change of it. Reports the devices missing, the new ones, those moved
to another address (from, to), other fields changed (field, old, new; one entry a field), and
the addresses two or more devices (or a device and the host) hold now but did not so in the
baseline (conflicts). JSON: {"format_version": 1, "missing": [devices], "new": [devices],
"moved": [{"mac", "version", "from", "to", "device"}], "changed": [{"mac", "version", "field",
"old", "new", "device"}], "conflicts": [{"ipaddr", "holders"}]}. Text: a line a difference,
escaped; nothing when none.

A snapshot is read as untrusted input: more than 64 MiB, not JSON (the line and column are
named), a format_version other than 1, an entry malformed or with a field longer than 4096
characters, or two entries of one MAC (both named): refused with the reason, nothing compared.

Exit codes: 0 no difference; 1 differences; 2 a snapshot refused, or bad input; 7 no usable
interface.
)";

const char HistoryUsage[] = R"(Usage: lanscout-cli history [--mac M] [--format table|json] [--journal FILE]

Prints the changes of the journal (see lanscout-cli --help for where it is), oldest first, each
with its outcome: verified, timeout, mismatch, interrupted, or unknown when none was written
(the run was killed, or still runs). --mac keeps those of one device (letter case aside). JSON:
one array of objects, the journal's change lines with "outcome", "outcome_time", "exit" and
"sends" joined in (null when unknown). A line that can't be read (cut short, not JSON, an unknown
format_version, a field too long) is skipped with a warning naming its line; unknown keys are
ignored with one. An empty or missing journal: empty output, a note, exit 0.
)";

const char UndoUsage[] = R"(Usage: lanscout-cli undo (--mac M | --last) [--dry-run] [--force] [--timeout S]
           [--retries K] [--wait S] [--format table|json] [--journal FILE | --no-journal]

Takes the newest journal entry of the device with MAC M (--last: the newest entry of all) and
sends that device, found by its MAC wherever it is now, the settings the entry recorded as
before its change: DHCP, or the static address, mask, gateway and DNS servers it had. It is
set-ip in every other respect: the same checks, verification, output and exit codes, and it is
journaled like any change, so a second undo puts back what the first one took back (with
--no-journal it reads the journal, but journals this change nowhere).

Exit codes: those of set-ip; besides, 2 when the entry's settings before can't be sent (missing,
neither static nor dhcp, malformed addresses: the reason is said) and 3 when the journal has no
entry for the device.
)";

const char DoctorUsage[] =
    R"(Usage: lanscout-cli doctor [--wait S] [--format text|json] [--capture FILE.pcap]
           [--interface NAME]...

Searches as list does for S seconds (default 5) and reports: every interface of the system
(also those not used, and why: down, loopback, no IPv4 address, not chosen), its addresses,
whether port 8888 could be bound there, the datagrams sent, received, accepted as replies and
ignored, the devices found there, the receive buffer asked for and granted and the datagrams
the system dropped; the devices as list gives them; and findings, each with an id, a
severity (problem, warning, info), what it concerns and advice. It looks at what the system
lets it read: another program on port 8888, the firewall's input rules (nft on Linux, the
Windows Firewall's profile and rules), reverse-path filtering and the receive buffer limit.
--capture writes every datagram sent and read to a pcap file (raw IPv4, headers
synthesized), record by record, so that a run ended by Ctrl-C leaves a readable file.

Exit codes: 0 no problem found (warnings aside); 1 a problem found; 2 bad input; 130/143
ended by SIGINT/SIGTERM (the capture is complete up to then).
)";

// Seconds as a whole or decimal number within [min, max], in ms.
template <typename Ms> bool millis(const QString &text, double min, double max, Ms *ms)
{
    bool ok = false;
    const double s = text.toDouble(&ok);
    if (!ok || !(s >= min && s <= max))
        return false;
    *ms = Ms(std::llround(s * 1000));
    return true;
}

struct CommandInfo
{
    const char *name;
    Command command;
    const char *usage;
    const char *options; // besides --trace and --help
    const char *formats; // the first is the default
};
const CommandInfo Commands[] = {
    {"list", Command::List, ListUsage, "wait format interface", "table json csv"},
    {"watch", Command::Watch, WatchUsage, "format duration interface baseline", "text jsonl"},
    {"set-ip", Command::SetIp, SetIpUsage,
     "wait format mac version dhcp static mask gateway dns1 dns2 timeout retries force dry-run journal "
     "no-journal no-conflict-check require-free interface",
     "table json"},
    {"apply", Command::Apply, ApplyUsage,
     "wait format timeout retries force dry-run journal no-journal no-conflict-check require-free interface "
     "from-baseline",
     "table json"},
    {"history", Command::History, HistoryUsage, "mac format journal", "table json"},
    {"undo", Command::Undo, UndoUsage,
     "wait format mac last timeout retries force dry-run journal no-journal no-conflict-check require-free "
     "interface",
     "table json"},
    {"doctor", Command::Doctor, DoctorUsage, "wait format capture interface", "text json"},
    {"snapshot", Command::Snapshot, SnapshotUsage, "wait output interface", "json"},
    {"diff", Command::Diff, DiffUsage, "wait format interface", "text json"}};

// The options that take a value (the rest are switches), and those of them that name a file.
const char ValueOptions[] =
    "wait format duration mac version static mask gateway dns1 dns2 timeout retries journal interface "
    "capture baseline from-baseline output";
const char FileOptions[] = "journal capture baseline from-baseline output";

QStringList words(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '));
}

} // namespace

Parsed parseArguments(const QStringList &arguments)
{
    Parsed result;
    Options &o = result.options;
    auto fail = [&](const QString &error) {
        result.error = error;
        return result;
    };
    const auto isHelp = [](const QString &a) {
        return a == QLatin1String("-h") || a == QLatin1String("--help") || a == QLatin1String("-?");
    };
    // Options before the command: the program's own.
    int at = 1;
    for (; at < arguments.size() && arguments[at].startsWith(QLatin1Char('-')); ++at) {
        const QString &a = arguments[at];
        if (isHelp(a))
            return result.text = QLatin1String(Usage), result;
        if (a == QLatin1String("-v") || a == QLatin1String("--version"))
            return result.text = QStringLiteral("lanscout-cli " LANSCOUT_VERSION "\n"), result;
        if (a != QLatin1String("--trace"))
            return fail(QStringLiteral("unknown option %1").arg(quoted(a)));
        o.trace = true;
    }
    if (at == arguments.size())
        return fail(QStringLiteral(
            "no command (list, watch, set-ip, apply, history, undo, doctor, snapshot or diff)"));
    const CommandInfo *info = nullptr;
    for (const CommandInfo &c : Commands)
        info = arguments[at] == QLatin1String(c.name) ? &c : info;
    if (arguments[at] == QLatin1String("help")) {
        for (const CommandInfo &c : Commands)
            info = arguments.value(at + 1) == QLatin1String(c.name) ? &c : info;
        return result.text = QLatin1String(info ? info->usage : Usage), result;
    }
    if (arguments[at] == QLatin1String("completion") &&
        arguments.mid(at + 1) == QStringList{QStringLiteral("bash")})
        return result.text = bashCompletion(), result;
    if (!info)
        return fail(
            QStringLiteral(
                "unknown command %1 (list, watch, set-ip, apply, history, undo, doctor, snapshot or diff)")
                .arg(quoted(arguments[at])));

    QCommandLineParser parser;
    auto option = [&](const char *name, const char *value = nullptr) {
        QCommandLineOption opt(QLatin1String(name), QString(), value ? QLatin1String(value) : QString());
        parser.addOption(opt);
        return opt;
    };
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    const auto trace = option("trace"), wait = option("wait", "S"), format = option("format", "FORMAT"),
               duration = option("duration", "S"), mac = option("mac", "M"), version = option("version", "V"),
               dhcp = option("dhcp"), staticIp = option("static", "IP"), mask = option("mask", "MASK"),
               gateway = option("gateway", "G"), dns1 = option("dns1", "D"), dns2 = option("dns2", "D"),
               timeout = option("timeout", "S"), retries = option("retries", "K"), force = option("force"),
               dryRun = option("dry-run"), journal = option("journal", "FILE"),
               noJournal = option("no-journal"), last = option("last"),
               noConflictCheck = option("no-conflict-check"), requireFree = option("require-free"),
               interfaceOption = option("interface", "NAME"), capture = option("capture", "FILE"),
               baseline = option("baseline", "FILE"), fromBaseline = option("from-baseline", "FILE");
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")}, QString(),
                                    QStringLiteral("FILE"));
    parser.addOption(output);
    if (!parser.parse(QStringList{arguments[0]} + arguments.mid(at + 1)))
        return fail(parser.errorText());
    if (parser.isSet(help))
        return result.text = QLatin1String(info->usage), result;
    o.command = info->command;
    o.trace = o.trace || parser.isSet(trace);
    const QStringList allowed = words(info->options) << QStringLiteral("trace");
    for (QString name : parser.optionNames()) {
        if (name == QLatin1String("o"))
            name = QStringLiteral("output");
        if (!allowed.contains(name))
            return fail(QStringLiteral("%1 takes no --%2").arg(QLatin1String(info->name), name));
    }
    const QStringList positional = parser.positionalArguments();
    const bool diff = o.command == Command::Diff;
    if (diff && (positional.isEmpty() || positional.size() > 2))
        return fail(QStringLiteral("diff takes a baseline file, and a second snapshot or none"));
    if (diff && positional.size() == 2 && parser.isSet(wait))
        return fail(QStringLiteral("diff of two files searches nothing: no --wait"));
    if (!diff && positional.size() != (o.command == Command::Apply && !parser.isSet(fromBaseline) ? 1 : 0))
        return fail(o.command == Command::Apply
                        ? QStringLiteral("apply takes one plan file, or --from-baseline FILE")
                        : QStringLiteral("unexpected argument %1").arg(quoted(positional.value(0))));
    o.planPath = diff ? QString() : positional.value(0);
    o.baselinePath = diff                     ? positional[0]
                     : parser.isSet(baseline) ? parser.value(baseline)
                                              : parser.value(fromBaseline);
    o.otherPath = diff ? positional.value(1) : QString();
    o.outputPath = parser.value(output);
    if ((parser.isSet(baseline) || parser.isSet(fromBaseline) || parser.isSet(output)) &&
        parser.value(parser.isSet(output)     ? output
                     : parser.isSet(baseline) ? baseline
                                              : fromBaseline)
            .isEmpty())
        return fail(QStringLiteral("--baseline, --from-baseline and -o take a file"));

    const QStringList formats = words(info->formats);
    const QString f = parser.isSet(format) ? parser.value(format) : formats.first();
    if (!formats.contains(f))
        return fail(QStringLiteral("--format takes %1").arg(formats.join(QLatin1Char('|'))));
    const QStringList formatNames = words("table json csv text jsonl"); // in the order of Format
    o.format = Format(formatNames.indexOf(f));

    if ((parser.isSet(wait) && !millis(parser.value(wait), 0, 3600, &o.waitMs)) ||
        // A duration that rounds to 0 ms would mean "until a signal".
        (parser.isSet(duration) &&
         (!millis(parser.value(duration), 0, 31536000, &o.durationMs) || !o.durationMs)) ||
        (parser.isSet(timeout) && !millis(parser.value(timeout), 0.1, 3600, &o.timeoutMs)))
        return fail(QStringLiteral("--wait, --duration and --timeout take seconds (--duration and --timeout "
                                   "at least 0.001)"));
    bool ok = true;
    if (parser.isSet(retries))
        o.retries = parser.value(retries).toInt(&ok);
    if (!ok || o.retries < 0 || o.retries > 100)
        return fail(QStringLiteral("--retries takes a whole number from 0 to 100"));
    o.force = parser.isSet(force);
    o.dryRun = parser.isSet(dryRun);
    o.journalPath = parser.value(journal);
    o.noJournal = parser.isSet(noJournal);
    o.last = parser.isSet(last);
    o.conflictCheck = !parser.isSet(noConflictCheck);
    o.requireFree = parser.isSet(requireFree);
    if (!o.conflictCheck && o.requireFree)
        return fail(
            QStringLiteral("--require-free needs the conflict check: not beside --no-conflict-check"));
    o.mac = parser.value(mac);
    o.interfaces = parser.values(interfaceOption);
    if (o.interfaces.contains(QString()))
        return fail(QStringLiteral("--interface takes the name of an interface"));
    o.capturePath = parser.value(capture);
    if (parser.isSet(capture) && o.capturePath.isEmpty())
        return fail(QStringLiteral("--capture takes a file"));
    if (o.command == Command::Doctor && !parser.isSet(wait))
        o.waitMs = 5000;
    if (parser.isSet(journal) && (o.journalPath.isEmpty() || o.noJournal))
        return fail(QStringLiteral("--journal takes a file, and not beside --no-journal"));
    if (o.command == Command::Undo && o.mac.isEmpty() == !o.last)
        return fail(QStringLiteral("undo needs either --mac or --last"));
    if (o.command != Command::SetIp)
        return result;

    o.version = parser.value(version);
    if (o.mac.isEmpty())
        return fail(QStringLiteral("set-ip needs --mac"));
    if (parser.isSet(dhcp) == parser.isSet(staticIp))
        return fail(QStringLiteral("set-ip needs either --dhcp or --static IP"));
    SetIpRequest &r = o.request;
    r.ipways = parser.isSet(dhcp) ? QStringLiteral("dhcp") : QStringLiteral("static");
    r.ipaddr = parser.value(staticIp);
    r.mask = parser.value(mask);
    r.gateway = parser.value(gateway);
    r.dns1 = parser.value(dns1);
    r.dns2 = parser.value(dns2);
    if (parser.isSet(dhcp) &&
        (parser.isSet(mask) || parser.isSet(gateway) || parser.isSet(dns1) || parser.isSet(dns2)))
        return fail(QStringLiteral("--dhcp takes no --mask, --gateway or --dns"));
    if (parser.isSet(staticIp) && !parser.isSet(mask))
        return fail(QStringLiteral("--static needs --mask"));
    return result;
}

QString bashCompletion()
{
    // Options after the command; the word before the cursor decides what a value may be.
    QString commands, cases, formats;
    for (const CommandInfo &c : Commands) {
        QStringList names = words(c.options), options;
        names << QStringLiteral("trace") << QStringLiteral("help");
        for (const QString &o : qAsConst(names))
            options << QLatin1String("--") + o;
        if (words(c.options).contains(QLatin1String("output")))
            options << QStringLiteral("-o");
        const bool files = c.command == Command::Apply || c.command == Command::Diff; // plan, snapshots
        commands += QLatin1Char(' ') + QLatin1String(c.name);
        cases +=
            QStringLiteral("    %1) words=\"%2\" files=%3 ;;\n")
                .arg(QLatin1String(c.name), options.join(QLatin1Char(' ')), QLatin1String(files ? "1" : ""));
        formats += QStringLiteral("        %1) formats=\"%2\" ;;\n")
                       .arg(QLatin1String(c.name), QLatin1String(c.formats));
    }
    QStringList values, fileValues;
    for (const QString &o : words(ValueOptions))
        (words(FileOptions).contains(o) ? fileValues : values) << QLatin1String("--") + o;
    fileValues << QStringLiteral("-o");
    return QStringLiteral(R"(# bash completion for lanscout-cli; made by "lanscout-cli completion bash"
_lanscout_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= words= files= formats= i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in -*) ;; *) command=${COMP_WORDS[i]}; break ;; esac
    done
    case $command in
%1    "") COMPREPLY=($(compgen -W "--trace --help --version help%2" -- "$cur")); return ;;
    *) return ;;
    esac
    case $prev in
    --format)
        case $command in
%3        esac
        COMPREPLY=($(compgen -W "$formats" -- "$cur")); return ;;
    %4) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    %5) return ;;
    esac
    if [[ $cur == -* || -z $files ]]; then
        COMPREPLY=($(compgen -W "$words" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _lanscout_cli lanscout-cli
)")
        .arg(cases, commands, formats, fileValues.join(QLatin1Char('|')), values.join(QLatin1Char('|')));
}

} // namespace cli
