#include "startup.h"

#include "imagepreload.h"
#include "language.h"
#include "udplogging.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

// Writes text to standard output. On Windows this program has no console of its own (it is
// a GUI-subsystem program), so started from cmd.exe or PowerShell without a redirection its
// standard output leads nowhere: there the text goes to the parent's console instead.
void writeToStandardOutput(const QString &text)
{
#ifdef Q_OS_WIN
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const bool redirected = out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN;
    if (!redirected && AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE) {
            const QString lines = QString(text).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
            DWORD written = 0;
            WriteConsoleW(console, lines.utf16(), DWORD(lines.size()), &written, nullptr);
            CloseHandle(console);
        }
        FreeConsole();
        return;
    }
#endif
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

QString informationAnswer(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("-?")) {
            return QStringLiteral(
                "Usage: lanScout\n\n"
                "Finds the devices on the local networks by broadcast, lists them, shows their\n"
                "settings and sets their addresses. Started without options it opens its window\n"
                "and starts searching on every network at once.\n\n"
                "  -h, --help     this text\n"
                "  -v, --version  the version\n");
        }
        if (a == QLatin1String("--version") || a == QLatin1String("-v"))
            return QStringLiteral("lanScout " LANSCOUT_VERSION "\n");
    }
    return QString();
}

bool printedInformationAnswer(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString answer = informationAnswer(arguments);
    if (answer.isEmpty())
        return false;
    writeToStandardOutput(answer);
    return true;
}

QString installedFamily(const QString &wanted, const QStringList &substitutes, const QStringList &installed)
{
    const auto has = [&](const QString &family) { return installed.contains(family, Qt::CaseInsensitive); };
    if (has(wanted))
        return wanted;
    const auto found = std::find_if(substitutes.cbegin(), substitutes.cend(), has);
    return found != substitutes.cend() ? *found : wanted;
}

QFont applicationFont()
{
    QFont font(QStringLiteral("Microsoft YaHei"), 10, -1, false);
#ifndef Q_OS_WIN
    // Asked for by name, a missing family costs a sort of every installed face (its fallbacks) at
    // the window's first font, before the toolkit tries the substitutes at all: so the face they
    // give is named outright. The substitutes after it still serve what it lacks (Chinese text
    // keeps its SC face rather than fontconfig's first CJK pick).
    const QStringList substitutes = QFont::substitutes(font.family());
    const QString face = installedFamily(font.family(), substitutes, QFontDatabase().families());
    if (face != font.family()) {
        QFont::insertSubstitutions(face, substitutes.mid(substitutes.indexOf(face) + 1));
        font.setFamily(face);
    }
#endif
    return font;
}

void preferFontSubstitutes()
{
#ifndef Q_OS_WIN
    QFont::insertSubstitutions(QStringLiteral("Microsoft YaHei"),
                               {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Noto Sans CJK SC"),
                                QStringLiteral("Source Han Sans SC")});
#endif
}

int startLanguageId(const QLocale &locale)
{
    return locale.language() == QLocale::Russian ? Language::Russian : Language::English;
}

void installStartLanguage(const QLocale &locale, IpItemMode &model)
{
    installLanguage(startLanguageId(locale), model);
}

QStringList windowImages()
{
    return {QStringLiteral(":/logo.png"), QStringLiteral(":/ru.png"), QStringLiteral(":/English.png"),
            QStringLiteral(":/min.png"), QStringLiteral(":/close.png")};
}

void prepareStart(IpItemMode &model)
{
    const bool probe = lcProbe().isDebugEnabled();
    if (probe)
        qCDebug(lcProbe, "phase application %lld", probeClockNs());
    preloadImages(windowImages());
    preferFontSubstitutes();
    QApplication::setFont(applicationFont());
    installStartLanguage(QLocale(), model);
    if (probe)
        qCDebug(lcProbe, "phase settings %lld", probeClockNs());
}
