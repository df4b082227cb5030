// The installer under Wine, silently: what it installs and registers, the firewall rule it asks
// netsh for (this program, copied over netsh.exe, records the calls), the installed programs
// answering, and the uninstaller taking it all away again. The prefix is the test's own
// (testbed/wine-run).

#include "protocol.h"
#include "windowsrun.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <qt_windows.h>
#include <shlobj.h>

namespace {

QString folder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path))
               ? QDir::fromNativeSeparators(QString::fromWCharArray(path))
               : QString();
}

const QString UninstallKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\lanScout");

const QLatin1String Netsh("netsh.exe");

// The netsh calls so far, each without the program's name and without quotes.
QStringList netshCalls(const QString &log)
{
    QFile file(log);
    return file.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
               : QStringList();
}

} // namespace

class tst_Installer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void installAndUninstall();

private:
    QTemporaryDir m_dir;
    QString m_netshLog;
};

// netsh.exe of this prefix is replaced by the stand-in (removed first: the prefix's files are
// shared with a template until written).
void tst_Installer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString netsh = folder(CSIDL_SYSTEM) + QLatin1Char('/') + Netsh;
    QVERIFY(QFile::remove(netsh));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), netsh));
    QSettings overrides(QStringLiteral("HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides"),
                        QSettings::NativeFormat);
    overrides.setValue(Netsh, QStringLiteral("native"));
    overrides.sync();
    m_netshLog = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("netsh.txt")));
    qputenv("LANSCOUT_NETSH_LOG", m_netshLog.toLocal8Bit());
}

void tst_Installer::installAndUninstall()
{
    QCOMPARE(QProcess::execute(QStringLiteral(LANSCOUT_INSTALLER_PATH), {QStringLiteral("/S")}), 0);

    const QString dir = folder(CSIDL_PROGRAM_FILES) + QStringLiteral("/lanScout");
    const QString startMenu = folder(CSIDL_COMMON_PROGRAMS) + QStringLiteral("/lanScout");
    const QStringList programs = QStringLiteral(LANSCOUT_WINDOWS_PROGRAMS).split(QLatin1Char(','));
    QVERIFY(QFile::exists(dir + QStringLiteral("/uninstall.exe")));
    QVERIFY2(!QFile::exists(dir + QStringLiteral("/lanScoutconfig.ini")),
             "the installer made a settings file");
    QVERIFY(QFile::exists(startMenu + QStringLiteral("/lanScout.lnk")));
    const QSettings entry(UninstallKey, QSettings::Registry64Format);
    QCOMPARE(entry.value(QStringLiteral("DisplayName")).toString(), QStringLiteral("lanScout"));
    QCOMPARE(entry.value(QStringLiteral("DisplayVersion")).toString(), QStringLiteral(LANSCOUT_VERSION));
    QCOMPARE(entry.value(QStringLiteral("UninstallString")).toString(),
             QLatin1Char('"') + QDir::toNativeSeparators(dir + QStringLiteral("/uninstall.exe")) +
                 QLatin1Char('"'));

    // Each program has a rule that lets the devices' replies reach its port, and answers.
    QStringList installing, uninstalling;
    for (const QString &name : programs) {
        const QString program = dir + QLatin1Char('/') + name + QStringLiteral(".exe");
        const QString removal = QStringLiteral("advfirewall firewall delete rule name=") + name;
        installing << removal
                   << QStringLiteral("advfirewall firewall add rule name=%1 dir=in action=allow protocol=UDP "
                                     "localport=%2 program=%3 profile=any enable=yes")
                          .arg(name)
                          .arg(protocol::HostPort)
                          .arg(QDir::toNativeSeparators(program));
        uninstalling << removal;
        const windowsrun::Finished installed = windowsrun::piped(program, {QStringLiteral("--version")});
        QCOMPARE(installed.text.split(QLatin1Char('\n')).value(0).trimmed(),
                 name + QStringLiteral(" " LANSCOUT_VERSION));
    }
    QCOMPARE(netshCalls(m_netshLog), installing);

    // The uninstaller copies itself away and runs from there: it has finished when its last step,
    // the uninstall entry, has gone (the folder goes first, the Start-menu entry after it).
    QCOMPARE(QProcess::execute(dir + QStringLiteral("/uninstall.exe"), {QStringLiteral("/S")}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(
        !QSettings(UninstallKey, QSettings::Registry64Format).contains(QStringLiteral("DisplayName")), 30000);
    QVERIFY(!QFileInfo::exists(dir));
    QVERIFY(!QFileInfo::exists(startMenu));
    QCOMPARE(netshCalls(m_netshLog), installing + uninstalling);
}

int main(int argc, char *argv[])
{
    // As netsh.exe: appends what follows its name, without quotes, to the file LANSCOUT_NETSH_LOG names.
    if (QString::fromLocal8Bit(argv[0]).endsWith(Netsh, Qt::CaseInsensitive)) {
        QFile log(qEnvironmentVariable("LANSCOUT_NETSH_LOG"));
        const QString call =
            QString::fromWCharArray(GetCommandLineW()).remove(QLatin1Char('"')).section(Netsh, 1);
        return log.open(QIODevice::Append) && log.write(call.trimmed().toUtf8() + '\n') > 0 ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    tst_Installer test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_installer.moc"
