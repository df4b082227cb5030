#include "language.h"

#include "ipitemmode.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QTranslator>

int _currLangId = 0;

namespace {

int lastInstalledId = -1; // none yet

const char *const languageKey = "user_Info/languageId";

QString &settingsFolderOverride()
{
    static QString folder;
    return folder;
}

QString settingsFilePath()
{
    return languageSettingsPath(languageSettingsFolder());
}

// The file is only ever used when it is already there: it is never created.
bool settingsFileExists(const QString &path)
{
    return QFileInfo(path).isFile();
}

QString cataloguePath(int id)
{
    switch (id) {
    case Language::Chinese:
        return QStringLiteral(":/lanScout_zh_CN.qm");
    case Language::English:
        return QStringLiteral(":/lanScout_zh_EN.qm");
    case Language::Russian:
        return QStringLiteral(":/lanScout_zh_RU.qm");
    default:
        return QString();
    }
}

// One translator per language, loaded on first use and owned by the application object.
// Installing the same translator again stands for installing a fresh copy of its catalogue.
QTranslator *translatorFor(int id)
{
    static QPointer<QTranslator> translators[3];
    QPointer<QTranslator> &t = translators[id];
    if (!t) {
        t = new QTranslator(QCoreApplication::instance());
        t->load(cataloguePath(id));
    }
    return t;
}

} // namespace

QString languageSettingsPath(const QString &folder)
{
    return QStringLiteral("%1/lanScoutconfig.ini").arg(folder);
}

void setLanguageSettingsFolder(const QString &folder)
{
    settingsFolderOverride() = folder;
}

QString languageSettingsFolder()
{
    const QString &folder = settingsFolderOverride();
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

void installLanguage(int id, IpItemMode &model)
{
    if (id >= 0 && id <= 2) {
        QTranslator *translator = translatorFor(id);
        // The toolkit prepends without looking for an earlier copy, and removal takes out
        // every copy: so remove first, and the translator moves to the front, where the
        // most recently installed catalogue is consulted first. An empty catalogue (one that
        // failed to load) changes no text, so the toolkit sends no language change for it.
        QCoreApplication::removeTranslator(translator);
        QCoreApplication::installTranslator(translator);
        lastInstalledId = id;
    }
    // Other ids have no catalogue; an empty translator would change nothing either.
    model.setHeaderLanguage(id);
}

void switchLanguage(int id, IpItemMode &model)
{
    const QString path = settingsFilePath();
    qDebug() << 30 << "set landId =" << id << "_currLangId=" << _currLangId;
    // Negative ids are refused like those above 2: no catalogue belongs to them, and stored
    // they would only read back as 0.
    if (id == _currLangId || id < 0 || id > Language::Last)
        return;
    _currLangId = id;
    installLanguage(id, model);
    if (settingsFileExists(path)) {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(QLatin1String(languageKey), QString::number(id));
        settings.sync();
    }
}

int shownLanguageId()
{
    return lastInstalledId == Language::Russian ? Language::Russian : Language::English;
}

int readLanguageId()
{
    const QString path = settingsFilePath();
    if (settingsFileExists(path)) {
        QSettings settings(path, QSettings::IniFormat);
        _currLangId = settings.value(QLatin1String(languageKey), 0).toInt();
        if (static_cast<unsigned>(_currLangId) > Language::Last)
            _currLangId = 0;
    }
    return _currLangId;
}
