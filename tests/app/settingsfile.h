#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The settings file as the toolkit writes it, with the platform's line ends.
inline QByteArray settingsText(const QByteArray &id)
{
#ifdef Q_OS_WIN
    const QByteArray eol("\r\n");
#else
    const QByteArray eol("\n");
#endif
    return id.isNull() ? QByteArray() : "[user_Info]" + eol + "languageId=" + id + eol;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
