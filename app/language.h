#pragma once

#include "languageid.h"

#include <QString>

class IpItemMode;

// The current id as far as the language operations know it. It starts at 0 and changes only
// through switchLanguage() and readLanguageId(): the language installed at start-up is not
// recorded here.
extern int _currLangId;

// The settings file that keeps the chosen language, in the given folder.
QString languageSettingsPath(const QString &folder);

// The folder the settings file is looked for in. Empty (the default) means the folder of the
// executable; tests point it at a temporary folder.
void setLanguageSettingsFolder(const QString &folder);
QString languageSettingsFolder();

// Installs the catalogue of the id in front of the ones installed before and relabels the
// header of model. Leaves _currLangId and the settings file alone.
void installLanguage(int id, IpItemMode &model);

// The language the window shows: Russian when the Russian catalogue was the last one installed,
// English otherwise (also when none, or the Chinese one, was installed last).
int shownLanguageId();

// The language labels' handler: for an id of 0 to 2 that differs from _currLangId, makes it
// current, installs it and stores it in the settings file if that file exists.
void switchLanguage(int id, IpItemMode &model);

// Refreshes _currLangId from the settings file when the file exists (an entry that is
// missing, not a number or out of range reads as 0) and returns it.
int readLanguageId();
