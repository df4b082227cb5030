#include "startup.h"

#include "language.h"

#include <QFont>
#include <QLocale>

QFont applicationFont()
{
    return QFont(QStringLiteral("Microsoft YaHei"), 10, -1, false);
}

int startLanguageId(const QLocale &locale)
{
    return locale.language() == QLocale::Russian ? 2 : 1;
}

void installStartLanguage(const QLocale &locale, IpItemMode &model)
{
    installLanguage(startLanguageId(locale), model);
}
