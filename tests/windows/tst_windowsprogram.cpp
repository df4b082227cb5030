// lanScout.exe as Windows sees it: the version information and icons that Explorer shows;
// its answers to --help and --version, and lanscout-cli.exe's text, on a console and into pipes.

#include "windowsrun.h"

#include <QtTest>

#include <qt_windows.h>

using namespace windowsrun;

namespace {

// One text of the version resource's US English, UTF-16 table.
QString versionText(const QString &file, const QString &name)
{
    const DWORD size = GetFileVersionInfoSizeW(file.toStdWString().c_str(), nullptr);
    QByteArray data(int(size), '\0');
    if (!size || !GetFileVersionInfoW(file.toStdWString().c_str(), 0, size, data.data()))
        return QStringLiteral("(no version information)");
    void *value = nullptr;
    UINT length = 0;
    const std::wstring key = (QStringLiteral("\\StringFileInfo\\040904B0\\") + name).toStdWString();
    if (!VerQueryValueW(data.constData(), key.c_str(), &value, &length) || !length)
        return QStringLiteral("(missing)");
    return QString::fromWCharArray(static_cast<const wchar_t *>(value), int(length) - 1);
}

BOOL CALLBACK firstGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found)
{
    *reinterpret_cast<LPWSTR *>(found) = IS_INTRESOURCE(name) ? name : _wcsdup(name);
    return FALSE;
}

// The sizes of the images in the file's (first) icon, as Windows picks from them.
QList<int> iconSizes(const QString &file)
{
    QList<int> sizes;
    const HMODULE module = LoadLibraryExW(file.toStdWString().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return sizes;
    LPWSTR name = nullptr;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, firstGroup, LONG_PTR(&name));
    const HRSRC resource = name ? FindResourceW(module, name, MAKEINTRESOURCEW(14)) : nullptr;
    const auto *group =
        resource ? static_cast<const BYTE *>(LockResource(LoadResource(module, resource))) : nullptr;
    // After a 6-byte header with the count at 4, an entry of 14 bytes an image, its width first
    // (0 for 256).
    for (int i = 0; group && i < *reinterpret_cast<const WORD *>(group + 4); ++i)
        sizes << (group[6 + 14 * i] ? group[6 + 14 * i] : 256);
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
// one too, hence DETACHED_PROCESS). Its text is what appears on the console.
Finished onConsole(const QString &program, const QStringList &arguments)
{
    FreeConsole();
    if (!AllocConsole())
        return {-1, QStringLiteral("(no console: %1)").arg(GetLastError())};
    const HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    std::wstring commandLine =
        (QLatin1Char('"') + QDir::toNativeSeparators(program) + QLatin1Char('"')).toStdWString();
    for (const QString &a : arguments)
        commandLine += (QLatin1Char(' ') + a).toStdWString();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    Finished finished{-1, QStringLiteral("(cannot start: %1)").arg(GetLastError())};
    const DWORD flags = program == Program ? DETACHED_PROCESS : 0;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 30000);
        DWORD code = DWORD(-1);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        finished = {int(code), screenText(screen)};
    }
    CloseHandle(screen);
    FreeConsole();
    return finished;
}

} // namespace

class tst_WindowsProgram : public QObject
{
    Q_OBJECT
private slots:
    void versionResource_data();
    void versionResource();
    void iconSizes();
    void text_data();
    void text();
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

// What devices send reaches a console whatever its code page. In pipes the program ends its lines
// as the C library does (CR LF, once), the command line with LF alone on both streams.
void tst_WindowsProgram::text_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("console"); // else into pipes
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("start"); // of the text
    const QString device = QStringLiteral("Устройство-设备");
    const QString unknown = QStringLiteral("lanscout-cli: unknown command \"%1\"").arg(device);
    QTest::newRow("--version on the console")
        << Program << "--version" << true << 0 << "lanScout " LANSCOUT_VERSION;
    QTest::newRow("-h on the console") << Program << "-h" << true << 0 << "Usage: lanScout\n";
    QTest::newRow("--help into a pipe") << Program << "--help" << false << 0 << "Usage: lanScout\r\n";
    QTest::newRow("command line: Cyrillic and CJK on the console") << Cli << device << true << 2 << unknown;
    QTest::newRow("command line's error, piped: UTF-8") << Cli << device << false << 2 << unknown;
    QTest::newRow("command line's --help, piped")
        << Cli << "--help" << false << 0 << "Usage: lanscout-cli [--trace] COMMAND [options]";
}

void tst_WindowsProgram::text()
{
    QFETCH(QString, program);
    QFETCH(QString, argument);
    QFETCH(bool, console);
    QFETCH(int, exitCode);
    QFETCH(QString, start);
    const Finished run = console ? onConsole(program, {argument}) : piped(program, {argument});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.text.startsWith(start), qPrintable(run.text));
    if (!console)
        QVERIFY2(!run.text.contains(program == Cli ? QStringLiteral("\r") : QStringLiteral("\r\r")),
                 "line ends");
}

QTEST_GUILESS_MAIN(tst_WindowsProgram)
#include "tst_windowsprogram.moc"
