#include "startup.h"

#include "language.h"

#include <QFont>
#include <QLocale>
#include <QStringList>

QFont applicationFont()
{
    return QFont(QStringLiteral("Microsoft YaHei"), 10, -1, false);
}

void preferFontSubstitutes()
{
#ifndef Q_OS_WIN
    QFont::insertSubstitutions(QStringLiteral("Microsoft YaHei"),
                               {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC")});
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
