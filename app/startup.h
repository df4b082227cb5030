#pragma once

class IpItemMode;
class QFont;
class QLocale;
class QString;
class QStringList;

// Pieces of the program's start-up, kept here so tests can run them without main().

// The answer to "--help" ("-h", "-?") or "--version" ("-v") among the program's arguments
// (the first is the program itself), or an empty text. main() prints it and ends there, before
// the window or a socket exists. Other arguments are left alone, as before.
QString informationAnswer(const QStringList &arguments);
// Prints informationAnswer() for main()'s arguments, if there is one; true when it did.
bool printedInformationAnswer(int argc, char *argv[]);

// The application-wide font: "Microsoft YaHei", 10 pt. Where that family is missing, the first
// installed of its substitutes (preferFontSubstitutes() first), named outright; the substitutes
// after that one become its own.
QFont applicationFont();
// wanted if it is installed, otherwise the first installed substitute, otherwise wanted (the
// toolkit's own pick then). Family names compare without case, as the toolkit's do.
QString installedFamily(const QString &wanted, const QStringList &substitutes, const QStringList &installed);

// Off Windows "Microsoft YaHei" is normally missing, and the toolkit's own pick is often a
// wide face that overflows the fixed-size buttons. Prefer a condensed face that fits them and
// loads fast (a CJK face, the next choice, is two 20 MB files that slow the first show by
// several milliseconds); Chinese text falls back to whatever CJK face is installed. Does
// nothing on Windows.
void preferFontSubstitutes();

// The interface language to start in: Russian (2) on a Russian system, English (1) on any
// other, Chinese included.
int startLanguageId(const QLocale &locale);

// Installs the start language for the locale. Neither reads the settings file nor records
// the id as current (_currLangId stays as it is).
void installStartLanguage(const QLocale &locale, IpItemMode &model);

// The images the main window shows, as its style sheets name them.
QStringList windowImages();

// main()'s settings before the window is built, in its order: the window's images start
// decoding on a pool thread, then the font substitutes and the application font, the start
// language for the system's locale.
void prepareStart(IpItemMode &model);
