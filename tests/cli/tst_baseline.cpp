// Snapshots read as untrusted input, diffs, watch --baseline's events, the rows of a restore and
// the bash completion: no socket.

#include "baseline.h"
#include "options.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

using namespace cli;

namespace {

// "mac ip [version [ipways]]; ...": devices as list gives them.
Snapshot snap(const QString &devices)
{
    Snapshot s;
    for (const QString &d : devices.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList w = d.simplified().split(QLatin1Char(' '));
        Device device;
        device.rec.mac = w[0], device.rec.ipaddr = w.value(1),
        device.rec.version = w.value(2, QStringLiteral("V1"));
        device.rec.ipways = w.value(3, QStringLiteral("static"));
        s.devices << device;
    }
    return s;
}

QString kinds(const QVector<BaselineWatch::Event> &events)
{
    const char *names[] = {"missing", "returned", "new", "moved"};
    QStringList out;
    for (const auto &e : events)
        out << QLatin1String(names[int(e.kind)]) + QLatin1Char(' ') + e.device.rec.mac;
    return out.join(QLatin1Char(','));
}

} // namespace

class tst_Baseline : public QObject
{
    Q_OBJECT
private slots:
    void diff_data();
    void diff();
    void refused_data();
    void refused();
    void watch_data();
    void watch();
    void restoreRows_data();
    void restoreRows();
    void completion();
};

void tst_Baseline::diff_data()
{
    QTest::addColumn<QString>("baseline");
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("found"); // missing new moved changed conflicts; then the text report
    auto row = [](const char *name, const char *baseline, const QString &now, const char *found) {
        QTest::newRow(name) << QString::fromUtf8(baseline) << now << QString::fromUtf8(found);
    };
    const char *site = "a1 10.0.0.1; b2 10.0.0.2";
    row("the same", site, QLatin1String(site), "0 0 0 0 0");
    row("missing", site, QStringLiteral("a1 10.0.0.1"), "1 0 0 0 0|missing  b2   V1       10.0.0.2");
    row("new", site, QLatin1String(site) + QLatin1String("; c3 10.0.0.3"),
        "0 1 0 0 0|new      c3   V1       10.0.0.3");
    row("moved", site, QStringLiteral("a1 10.0.0.1; b2 10.0.0.9"),
        "0 0 1 0 0|moved    b2   V1       10.0.0.2 -> 10.0.0.9");
    row("a new version is a change", site, QStringLiteral("a1 10.0.0.1 V2; b2 10.0.0.2"),
        "0 0 0 1 0|changed  a1   V2       version: V1 -> V2");
    row("MAC in other case and separators", "02:AB:00:00:00:01 10.0.0.1",
        QStringLiteral("02-ab-00-00-00-01 10.0.0.1"), "0 0 0 0 0");
    row("a new conflict", site, QStringLiteral("a1 10.0.0.1; b2 10.0.0.1"),
        "0 0 1 0 1|conflict                  10.0.0.1 held by a1, b2");
    row("a conflict the baseline had", "a1 10.0.0.1; b2 10.0.0.1", QStringLiteral("a1 10.0.0.1; b2 10.0.0.1"),
        "0 0 0 0 0");
    row("a hostile value, escaped", "a1 10.0.0.1 V1", QStringLiteral("a1 10.0.0.1 \x1b[2J"),
        "0 0 0 1 0|changed  a1   \\x1b[2J  version: V1 -> \\x1b[2J");
}

void tst_Baseline::diff()
{
    QFETCH(QString, baseline);
    QFETCH(QString, now);
    QFETCH(QString, found);
    // Through the file format both ways: what diff compares is what snapshot wrote.
    QString error;
    const auto read = [&](const QString &devices) {
        return *readSnapshot(snapshotJson(snap(devices)), QStringLiteral("s.json"), &error);
    };
    const SnapshotDiff d = diffSnapshots(read(baseline), read(now));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                 .arg(d.missing.size())
                 .arg(d.added.size())
                 .arg(d.moved.size())
                 .arg(d.changed.size())
                 .arg(d.conflicts.size()),
             found.section(QLatin1Char('|'), 0, 0));
    const QString text = QString::fromUtf8(diffText(d));
    QCOMPARE(text.isEmpty(), d.isEmpty());
    if (found.contains(QLatin1Char('|')))
        QVERIFY2(text.simplified().contains(found.section(QLatin1Char('|'), 1).simplified()),
                 qPrintable(text));
    QCOMPARE(QJsonDocument::fromJson(diffJson(d))[QLatin1String("moved")].toArray().size(), d.moved.size());
}

void tst_Baseline::refused_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");
    const QByteArray device = R"({"version":"V1","ipways":"static","ipaddr":"10.0.0.1","mask":"255.0.0.0",)"
                              R"("gateway":"","mac":"02:00:00:00:00:01","dns1":"","dns2":"","extra":""})";
    const auto with = [&](const QByteArray &devices) {
        return R"({"format_version":1,"devices":[)" + devices + "]}";
    };
    QTest::newRow("not JSON: line and column")
        << QByteArray("{\"format_version\": 1,\n  \"devices\": [x]}") << "s.json:2:15: not JSON";
    QTest::newRow("another format_version")
        << QByteArray(R"({"format_version":2,"devices":[]})") << R"(s.json: "format_version" "2" is not 1)";
    QTest::newRow("no format_version") << QByteArray(R"({"devices":[]})") << "no \"format_version\"";
    QTest::newRow("not an object") << QByteArray("[]") << "not a snapshot";
    QTest::newRow("no devices") << QByteArray(R"({"format_version":1})") << "\"devices\" is not an array";
    QTest::newRow("an entry not an object") << with(device + ",7") << "devices[1]: is not an object";
    QTest::newRow("a field not a string")
        << with(QByteArray(device).replace("\"10.0.0.1\"", "1")) << R"(devices[0]: "ipaddr" is not a string)";
    QTest::newRow("a field missing") << with(QByteArray(device).replace("\"mask\"", "\"maske\""))
                                     << R"(devices[0]: "mask" is missing)";
    QTest::newRow("a field too long")
        << with(QByteArray(device).replace("\"extra\":\"\"", "\"extra\":\"" + QByteArray(5000, 'x') + '"'))
        << R"(devices[0]: "extra" is longer than 4096)";
    QTest::newRow("one MAC twice, written otherwise")
        << with(device + ',' + QByteArray(device).replace("02:00:00:00:00:01", "02-00-00-00-00-01"))
        << R"(devices[0] and devices[1] name one device, MAC "02:00:00:00:00:01" and "02-00-00-00-00-01")";
    QTest::newRow("too large") << QByteArray(SnapshotMaxBytes + 1, ' ') << "larger than 64 MiB";
}

void tst_Baseline::refused()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    QString said;
    QVERIFY(!readSnapshot(file, QStringLiteral("s.json"), &said));
    QVERIFY2(said.startsWith(QLatin1String("s.json")) && said.contains(error), qPrintable(said));
}

void tst_Baseline::watch_data()
{
    QTest::addColumn<QString>("row"); // +added ~changed -removed "searched", each "mac ip" => the events
    QTest::newRow("all there") << "+a 1|+b 2|searched => ";
    QTest::newRow("missing after the search") << "+a 1|searched => missing b";
    QTest::newRow("removed later, returned") << "+a 1|+b 2|searched|-b 2|+b 2 => missing b|returned b";
    QTest::newRow("gone before the search: not yet missing") << "+a 1|+b 2|-b 2 => ";
    QTest::newRow("new, moved, moved back") << "+c 3|+a 7|~a 1|+b 2 => new c|moved a|moved a";
    QTest::newRow("two versions of one MAC: one left is present") << "+a 1|+b 2|searched|+a 1|-a 1 => ";
}

void tst_Baseline::watch()
{
    QFETCH(QString, row);
    BaselineWatch w(snap(QStringLiteral("a 1; b 2")).devices);
    QStringList got;
    for (const QString &step : row.section(QLatin1String(" => "), 0, 0).split(QLatin1Char('|'))) {
        const Device d = snap(step.mid(1)).devices.value(0);
        const auto e = step == QLatin1String("searched") ? w.searched()
                       : step[0] == QLatin1Char('+')     ? w.added(d)
                       : step[0] == QLatin1Char('~')     ? w.changed(d)
                                                         : w.removed(d);
        if (!e.isEmpty())
            got << kinds(e);
    }
    QCOMPARE(got.join(QLatin1Char('|')), row.section(QLatin1String(" => "), 1));
}

void tst_Baseline::restoreRows_data()
{
    QTest::addColumn<QString>("row"); // found => mac ipways ipaddr of each row left
    QTest::newRow("where the baseline has them") << "A1 10.0.0.1; b2 10.0.0.2 V1 dhcp => ";
    QTest::newRow("moved, found by another case") << "A1 10.0.0.9; b2 10.0.0.2 V1 dhcp => A1 static 10.0.0.1";
    QTest::newRow("a DHCP lease moved: the server's") << "a1 10.0.0.1; b2 10.0.0.7 V1 dhcp => ";
    QTest::newRow("static where DHCP was") << "a1 10.0.0.1; b2 10.0.0.2 V1 static => b2 dhcp ";
    QTest::newRow("not found: said, left out") << "c3 10.0.0.1 => ";
}

void tst_Baseline::restoreRows()
{
    QFETCH(QString, row);
    const QString found = row.section(QLatin1String(" => "), 0, 0);
    QStringList notes, got;
    const auto kept = rowsToRestore(baselineRows(snap(QStringLiteral("a1 10.0.0.1; b2 10.0.0.2 V1 dhcp"))),
                                    snap(found).devices, &notes);
    for (const PlanRow &r : kept)
        got << r.mac + QLatin1Char(' ') + r.request.ipways + QLatin1Char(' ') + r.request.ipaddr;
    QCOMPARE(got.join(QLatin1Char('|')), row.section(QLatin1String(" => "), 1));
    QCOMPARE(notes.size(), found.startsWith(QLatin1String("c3")) ? 2 : 0);
}

void tst_Baseline::completion()
{
    const QString script = bashCompletion();
    // Every option the script offers is one the parser takes for that command, with a value
    // exactly where the script expects one ("--wait|--format|...) ...").
    QStringList valued;
    for (const QString &line : script.split(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(QLatin1String("--")) && line.contains(QLatin1Char('|')))
            valued += line.trimmed().section(QLatin1Char(')'), 0, 0).split(QLatin1Char('|'));
    }
    for (const QString &line : script.split(QLatin1Char('\n')).filter(QLatin1String(") words=\""))) {
        const QString command = line.trimmed().section(QLatin1Char(')'), 0, 0);
        for (const QString &option : line.section(QLatin1Char('"'), 1, 1).split(QLatin1Char(' '))) {
            if (option == QLatin1String("--help"))
                continue;
            const QString error =
                parseArguments({QStringLiteral("lanscout-cli"), command, option, QStringLiteral("x")}).error;
            QVERIFY2(!error.contains(QLatin1String("takes no")) && !error.contains(QLatin1String("Unknown")),
                     qPrintable(command + QLatin1Char(' ') + option + QLatin1String(": ") + error));
            QCOMPARE(parseArguments({QStringLiteral("lanscout-cli"), command, option})
                         .error.startsWith(QLatin1String("Missing value")),
                     valued.contains(option));
        }
    }
#ifndef Q_OS_WIN // the script ships with the Linux package; a Windows build has no bash to run it
    // ... and bash completes with it.
    QProcess bash; // the script on its standard input; c WORD...: completes the last word
    bash.start(
        QStringLiteral("bash"),
        {QStringLiteral("-c"),
         QStringLiteral("eval \"$(cat)\"; complete -p lanscout-cli; c() { COMP_WORDS=(\"$@\"); "
                        "COMP_CWORD=$(($# - 1)); _lanscout_cli; echo \"${COMPREPLY[*]}\"; }; "
                        "c lanscout-cli di; c lanscout-cli diff --format ''; c lanscout-cli watch --b")});
    bash.write(script.toUtf8());
    bash.closeWriteChannel();
    QVERIFY(bash.waitForFinished(10000));
    QCOMPARE(
        QString::fromUtf8(bash.readAll()),
        QStringLiteral("complete -o filenames -F _lanscout_cli lanscout-cli\ndiff\ntext json\n--baseline\n"));
#endif
}

QTEST_GUILESS_MAIN(tst_Baseline)
#include "tst_baseline.moc"
