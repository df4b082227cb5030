#pragma once

class IpItemMode;
class QFont;
class QLocale;

// Pieces of the program's start-up, kept here so tests can run them without main().

// The application-wide font: "Microsoft YaHei", 10 pt (the toolkit substitutes another
// family where it is missing).
QFont applicationFont();

// Off Windows "Microsoft YaHei" is normally missing, and the toolkit's own pick is often a
// wide face that overflows the fixed-size buttons. Prefer a CJK interface face that also
// covers Latin and Cyrillic and is about as wide. Does nothing on Windows.
void preferFontSubstitutes();

// The interface language to start in: Russian (2) on a Russian system, English (1) on any
// other, Chinese included.
int startLanguageId(const QLocale &locale);

// Installs the start language for the locale. Neither reads the settings file nor records
// the id as current (_currLangId stays as it is).
void installStartLanguage(const QLocale &locale, IpItemMode &model);
