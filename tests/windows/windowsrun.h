// The build's Windows programs as the Windows tests start and drive them (the lanscout_windowsrun
// target compiles their paths in and builds them first).
#pragma once

#include <QProcess>

#include <qt_windows.h>

namespace windowsrun {

const QString Program = QStringLiteral(LANSCOUT_APP_PATH);
const QString Cli = QStringLiteral(LANSCOUT_CLI_PATH);

struct Finished
{
    int exitCode = -1;
    QString text; // what it wrote
};

// Both streams into one pipe, as "program 2>&1 | more" has them; 30 s at most.
inline Finished piped(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, QString::fromUtf8(process.readAll())};
}

// A mouse event for SendInput(), as from a user's hand: a button, or a move by dx, dy.
inline INPUT mouseInput(DWORD flags, LONG dx = 0, LONG dy = 0)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi = {dx, dy, 0, flags, 0, 0};
    return input;
}

} // namespace windowsrun
