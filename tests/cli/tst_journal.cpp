// The journal of changes: its lines read back, what a damaged or forged line does, the request an
// undo sends, and two writers at once. Without sockets.

#include "journal.h"
#include "journalfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace cli;

namespace {

// A change line of device mac; before: "ipways ipaddr mask gateway" (as reported).
QByteArray change(const char *id, const QString &mac = QStringLiteral("02:00:00:00:00:01"),
                  const QString &before = QStringLiteral("static 198.18.0.10 255.255.255.0 198.18.0.1"))
{
    JournalEntry e;
    e.time = QStringLiteral("2024-05-01T12:00:00.123+02:00");
    e.id = QLatin1String(id), e.mac = mac, e.version = QStringLiteral("V1.1"),
    e.command = QStringLiteral("set-ip");
    const QStringList f = before.split(QLatin1Char(' '));
    e.before.ipways = f.value(0), e.before.ipaddr = f.value(1), e.before.mask = f.value(2);
    e.before.gateway = f.value(3), e.before.mac = mac, e.before.extra = QStringLiteral("x");
    e.requested.ipways = QStringLiteral("dhcp");
    return changeLine(e);
}
QByteArray outcome(const char *id, const char *result = "verified")
{
    return outcomeLine(QStringLiteral("2024-05-01T12:00:03.456+02:00"), QLatin1String(id),
                       QLatin1String(result), 0, 1);
}

} // namespace

class tst_Journal : public QObject
{
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void undo_data();
    void undo();
    void twoWriters();
};

void tst_Journal::read_data()
{
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QString>("entries");  // "id:outcome" each, "?" for none
    QTest::addColumn<QString>("warnings"); // a piece of each, "|" between
    auto row = [](const char *name, const QByteArray &journal, const char *entries, const char *warnings) {
        QTest::newRow(name) << journal << QString::fromUtf8(entries) << QString::fromUtf8(warnings);
    };
    row("changes and outcomes joined", change("a") + change("b") + outcome("b", "timeout") + outcome("a"),
        "a:verified b:timeout", "");
    row("torn last line: named, the others read", change("a") + change("b").left(60), "a:?",
        "line 2: not a JSON object");
    row("hostile text: escaped and cut",
        change("a") + "\x1b[31m{" + QByteArray(100, 'x') + "\r\n" + outcome("a"), "a:verified",
        R"(line 2: not a JSON object (illegal value, cut short?): "\x1b[31m{xxxxx)");
    row("unknown keys: ignored, named",
        change("a")
            .replace("\"id\"", "\"evil\":\"\\u001b\",\"id\"")
            .replace("\"extra\"", "\"more\":1,\"extra\""),
        "a:?", R"(line 1: unknown key "evil" ignored|line 1: unknown key "before.more" ignored)");
    row("format_version 2: skipped, named",
        change("a").replace("\"format_version\":1", "\"format_version\":2") + change("b"), "b:?",
        "line 1: format_version 2 unknown, skipped");
    row("a field too long: skipped",
        change("a").replace("\"02:00:00:00:00:01\",\"version\"",
                            '"' + QByteArray(5000, 'm') + "\",\"version\""),
        "", "line 1: mac is 5000 characters long");
    row("outcome of no change, a second outcome, an unknown one: skipped",
        change("a") + outcome("z") + outcome("a") + outcome("a", "timeout") + outcome("a", "won"),
        "a:verified", "line 2: outcome of \"z\"|line 4: a second outcome|line 5: outcome \"won\" unknown");
    row("one id twice: the second skipped", change("a") + change("a", QStringLiteral("02:00:00:00:00:02")),
        "a:?", "line 2: id \"a\" was used");
}

void tst_Journal::read()
{
    QFETCH(QByteArray, journal);
    QFETCH(QString, entries);
    QFETCH(QString, warnings);
    const JournalRead r = readJournal(journal);
    QStringList got;
    for (const JournalEntry &e : r.entries)
        got << e.id + QLatin1Char(':') + (e.outcome.isEmpty() ? QStringLiteral("?") : e.outcome);
    QCOMPARE(got.join(QLatin1Char(' ')), entries);
    const QStringList expected = warnings.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QCOMPARE(r.warnings.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(r.warnings[i].startsWith(expected[i]), qPrintable(r.warnings[i]));
    // What is shown of the entries is escaped: no control character reaches a terminal.
    QVERIFY(!historyTable(r.entries).contains('\x1b'));
    QCOMPARE(QJsonDocument::fromJson(historyJson(r.entries)).array().size(), r.entries.size());
}

void tst_Journal::undo_data()
{
    QTest::addColumn<QString>(
        "row"); // before, "ipways ipaddr mask gateway" => the request, or the error's end
    QTest::newRow("static")
        << "static 198.18.0.10 255.255.255.0 198.18.0.1 => static 198.18.0.10 255.255.255.0 198.18.0.1";
    QTest::newRow("dhcp: its lease not asked for") << "dhcp 198.18.0.240 255.255.255.0 198.18.0.1 => dhcp   ";
    QTest::newRow("another mode") << "bootp 198.18.0.10 => its ipways \"bootp\" is neither static nor dhcp";
    QTest::newRow("a bad mask") << "static 198.18.0.10 255.255.0 => its mask \"255.255.0\" is not a dotted";
    QTest::newRow("no mask")
        << "static 198.18.0.10 - 198.18.0.1 => its mask \"\" is not a dotted IPv4 address";
    QTest::newRow("a bad gateway") << "static 198.18.0.10 255.0.0.0 gw => its gateway \"gw\" is not a dotted";
    QTest::newRow("a field missing") << "- => before has no mask";
}

void tst_Journal::undo()
{
    QFETCH(QString, row);
    const QString before = row.section(QLatin1String(" => "), 0, 0),
                  sent = row.section(QLatin1String(" => "), 1);
    QByteArray line = change("a", QStringLiteral("02:00:00:00:00:01"), before);
    if (before == QLatin1String("-"))
        line.replace("\"mask\":\"\",", "");
    line.replace("\"-\"", "\"\""); // a field written empty
    const JournalRead r = readJournal(line);
    QString error;
    const PlanRow undone = undoRow(r.entries.value(0), &error);
    const SetIpRequest &q = undone.request;
    const QString got = error.isEmpty() ? q.ipways + QLatin1Char(' ') + q.ipaddr + QLatin1Char(' ') + q.mask +
                                              QLatin1Char(' ') + q.gateway
                                        : error.section(QLatin1String(": "), 2);
    QVERIFY2(got.startsWith(sent), qPrintable(got));
    QCOMPARE(undone.mac, QStringLiteral("02:00:00:00:00:01"));
}

// Two writers of their own each (as two processes would be), a line left torn before them.
void tst_Journal::twoWriters()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state/lanscout/journal.jsonl"));
    QString error;
    {
        JournalFile torn(path);
        QVERIFY2(torn.open(&error) && torn.append(change("torn").left(50), &error), qPrintable(error));
    }
    auto writer = [&path](char name) {
        JournalFile file(path);
        QString error;
        for (int i = 0; i < 200 && (i || file.open(&error)); ++i)
            file.append(change(QByteArray(1, name).append(QByteArray::number(i)).constData()), &error);
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join(), b.join();
    QByteArray text;
    bool missing = true;
    QVERIFY(readJournalFile(path, &text, &missing, &error) && !missing);
    const JournalRead r = readJournal(text);
    QCOMPARE(r.entries.size(), 400);
    QCOMPARE(r.warnings.size(), 1);
    QVERIFY(r.warnings[0].startsWith(QLatin1String("line 1: not a JSON object")));
}

QTEST_APPLESS_MAIN(tst_Journal)
#include "tst_journal.moc"
