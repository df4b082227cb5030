// lanScout.exe as Windows sees it: the version information and icons that Explorer shows,
// and the answer to --help and --version from a console; lanscout-cli.exe's text on a console and
// into pipes.

#include <QProcess>
#include <QtTest>

#include <qt_windows.h>

namespace {

const QString Program = QStringLiteral(LANSCOUT_APP_PATH);
const QString Cli = QStringLiteral(LANSCOUT_CLI_PATH);

std::wstring wide(const QString &text)
{
    return text.toStdWString();
}

// One text of the version resource's US English, UTF-16 table.
QString versionText(const QString &file, const QString &name)
{
    const DWORD size = GetFileVersionInfoSizeW(wide(file).c_str(), nullptr);
    QByteArray data(int(size), '\0');
    if (!size || !GetFileVersionInfoW(wide(file).c_str(), 0, size, data.data()))
        return QStringLiteral("(no version information)");
    void *value = nullptr;
    UINT length = 0;
    const std::wstring key = wide(QStringLiteral("\\StringFileInfo\\040904B0\\") + name);
    if (!VerQueryValueW(data.constData(), key.c_str(), &value, &length) || !length)
        return QStringLiteral("(missing)");
    return QString::fromWCharArray(static_cast<const wchar_t *>(value), int(length) - 1);
}

#pragma pack(push, 2)
struct GroupIconEntry // one image of an icon group resource
{
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

BOOL CALLBACK firstGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found)
{
    *reinterpret_cast<LPWSTR *>(found) = IS_INTRESOURCE(name) ? name : _wcsdup(name);
    return FALSE;
}

// The sizes of the images in the file's (first) icon, as Windows picks from them.
QList<int> iconSizes(const QString &file)
{
    QList<int> sizes;
    const HMODULE module = LoadLibraryExW(wide(file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return sizes;
    LPWSTR name = nullptr;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, firstGroup, LONG_PTR(&name));
    const HRSRC resource = name ? FindResourceW(module, name, MAKEINTRESOURCEW(14)) : nullptr;
    const auto *group =
        resource ? static_cast<const BYTE *>(LockResource(LoadResource(module, resource))) : nullptr;
    if (group) {
        const WORD count = *reinterpret_cast<const WORD *>(group + 4);
        const auto *entries = reinterpret_cast<const GroupIconEntry *>(group + 6);
        for (WORD i = 0; i < count; ++i)
            sizes << (entries[i].width ? entries[i].width : 256);
    }
    if (name && !IS_INTRESOURCE(name))
        free(name);
    FreeLibrary(module);
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

// The text on a console's screen so far, its rows without their trailing blanks.
QString screenText(HANDLE screen)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen, &info))
        return QString();
    QStringList rows;
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        std::wstring row(size_t(info.dwSize.X), L' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen, &row[0], DWORD(row.size()), COORD{0, y}, &read);
        rows << QString::fromStdWString(row.substr(0, read)).trimmed();
    }
    return rows.join(QLatin1Char('\n')).trimmed();
}

// Starts the program as cmd.exe starts it without redirections: a console program attached to
// this process's console; lanScout.exe, a GUI-subsystem program, with that console as its
// parent's but not attached to it (Windows attaches only console programs; Wine would attach this
// one too, hence DETACHED_PROCESS). Returns what appears on the console.
QString runOnConsole(const QStringList &arguments, int *exitCode, const QString &program = Program)
{
    FreeConsole();
    if (!AllocConsole())
        return QStringLiteral("(no console: %1)").arg(GetLastError());
    const HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    std::wstring commandLine = wide(QLatin1Char('"') + QDir::toNativeSeparators(program) + QLatin1Char('"'));
    for (const QString &a : arguments)
        commandLine += wide(QLatin1Char(' ') + a);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    QString text;
    const DWORD flags = program == Program ? DETACHED_PROCESS : 0;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 30000);
        DWORD code = DWORD(-1);
        GetExitCodeProcess(process.hProcess, &code);
        *exitCode = int(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        text = screenText(screen);
    } else {
        text = QStringLiteral("(cannot start: %1)").arg(GetLastError());
    }
    CloseHandle(screen);
    FreeConsole();
    return text;
}

} // namespace

class tst_WindowsProgram : public QObject
{
    Q_OBJECT
private slots:
    void versionResource_data();
    void versionResource();
    void iconSizes();
    void informationAnswer_data();
    void informationAnswer();
    void cliText_data();
    void cliText();
};

void tst_WindowsProgram::versionResource_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("product") << "ProductName"
                             << "lanScout";
    QTest::newRow("product version") << "ProductVersion" << LANSCOUT_VERSION;
    QTest::newRow("description") << "FileDescription"
                                 << "lanScout network device finder";
}

void tst_WindowsProgram::versionResource()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(versionText(Program, name), expected);
}

void tst_WindowsProgram::iconSizes()
{
    QCOMPARE(::iconSizes(Program), (QList<int>{16, 24, 32, 48, 256}));
}

void tst_WindowsProgram::informationAnswer_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("console"); // else into a pipe, as "lanScout --version | more" does
    QTest::addColumn<QString>("firstLine");
    const QString version = QStringLiteral("lanScout " LANSCOUT_VERSION);
    QTest::newRow("--version on the console") << "--version" << true << version;
    QTest::newRow("-h on the console") << "-h" << true << "Usage: lanScout";
    QTest::newRow("--help into a pipe") << "--help" << false << "Usage: lanScout";
}

void tst_WindowsProgram::informationAnswer()
{
    QFETCH(QString, option);
    QFETCH(bool, console);
    QFETCH(QString, firstLine);
    QString text;
    int exitCode = -1;
    if (console) {
        text = runOnConsole({option}, &exitCode);
    } else {
        QProcess process;
        process.start(Program, {option});
        QVERIFY(process.waitForFinished(30000));
        exitCode = process.exitCode();
        text = QString::fromLocal8Bit(process.readAllStandardOutput());
        QVERIFY2(!text.contains(QLatin1String("\r\r")), "line ends converted twice");
    }
    QCOMPARE(exitCode, 0);
    QCOMPARE(text.split(QLatin1Char('\n')).value(0).trimmed(), firstLine);
}

// What devices send reaches a console whatever its code page, and both streams end lines alike.
void tst_WindowsProgram::cliText_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("console");
    QTest::addColumn<QString>("expected"); // in what it wrote (standard error, or the console)
    QTest::newRow("Cyrillic and CJK on the console")
        << QStringLiteral("Устройство-设备") << true << QStringLiteral("unknown command \"Устройство-设备\"");
    QTest::newRow("piped: UTF-8 and LF alone") << QStringLiteral("Устройство-设备") << false
                                               << QStringLiteral("unknown command \"Устройство-设备\"");
}

void tst_WindowsProgram::cliText()
{
    QFETCH(QString, argument);
    QFETCH(bool, console);
    QFETCH(QString, expected);
    int exitCode = -1;
    QString text;
    if (console) {
        text = runOnConsole({argument}, &exitCode, Cli);
    } else {
        QProcess process;
        process.start(Cli, {argument});
        QVERIFY(process.waitForFinished(30000));
        exitCode = process.exitCode();
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(!err.contains('\r'), err.constData());
        text = QString::fromUtf8(err);
        process.start(Cli, {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(30000));
        QVERIFY(!process.readAllStandardOutput().contains('\r'));
    }
    QCOMPARE(exitCode, 2);
    QVERIFY2(text.contains(expected), qPrintable(text));
}

QTEST_GUILESS_MAIN(tst_WindowsProgram)
#include "tst_windowsprogram.moc"
