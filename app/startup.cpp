#include "startup.h"

#include "imagepreload.h"
#include "language.h"
#include "udplogging.h"

#include <QApplication>
#include <QFont>
#include <QLocale>
#include <QStringList>

#include <cstdio>

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
    std::fputs(answer.toLocal8Bit().constData(), stdout);
    return true;
}

QFont applicationFont()
{
    return QFont(QStringLiteral("Microsoft YaHei"), 10, -1, false);
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
    return locale.language() == QLocale::Russian ? 2 : 1;
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
