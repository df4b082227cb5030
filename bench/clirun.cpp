#include "measure.h"

#include "launchers.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace bench {

CliFigures measureCliList(int devices, int spreadMs, int waitS)
{
    CliFigures f;
    f.devices = devices, f.spreadMs = spreadMs, f.waitS = waitS;
    testbed::SimProcess sim;
    QTemporaryDir dir;
    if (!sim.start({QStringLiteral("--devices"), QString::number(devices), QStringLiteral("--spread"),
                    QString::number(spreadMs)},
                   &f.error, waitS + 40, false))
        return f;
    // A child's peak resident size starts from its parent's resident size when it was made, and
    // this process holds the previous list's JSON by then. So GNU time, small, makes the command
    // line's process and writes its peak; this one only times the run.
    const QByteArray program = testbed::cliPath().toLocal8Bit(), wait = QByteArray::number(waitS);
    const QByteArray output = dir.filePath(QStringLiteral("list.json")).toLocal8Bit();
    const QByteArray peakFile = dir.filePath(QStringLiteral("peak")).toLocal8Bit();
    const char *argv[] = {"/usr/bin/time",
                          "-f",
                          "%M",
                          "-o",
                          peakFile.constData(),
                          program.constData(),
                          "list",
                          "--wait",
                          wait.constData(),
                          "--format",
                          "json",
                          nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    // A process group of their own, so that both can be ended together.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    QElapsedTimer clock;
    clock.start();
    const int spawned = posix_spawn(&pid, argv[0], &files, &attributes, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        f.error = QStringLiteral("cannot start /usr/bin/time %1").arg(testbed::cliPath());
        return f;
    }
    int status = 0;
    qint64 endedNs = -1;
    const bool ended = QTest::qWaitFor(
        [&] {
            if (waitpid(pid, &status, WNOHANG) == pid)
                endedNs = clock.nsecsElapsed();
            return endedNs >= 0;
        },
        (waitS + 30) * 1000);
    if (!ended) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        f.error = QStringLiteral("lanscout-cli did not end 30 s after its wait");
        return f;
    }
    QFile file(QString::fromLocal8Bit(output));
    f.listed =
        file.open(QIODevice::ReadOnly) ? int(QJsonDocument::fromJson(file.readAll()).array().size()) : -1;
    f.elapsedS = double(endedNs) / 1e9;
    QFile peak(QString::fromLocal8Bit(peakFile));
    f.peakKib =
        peak.open(QIODevice::ReadOnly) ? peak.readAll().trimmed().split('\n').last().toLongLong() : -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        f.error = QStringLiteral("lanscout-cli ended with status %1").arg(status);
    return f;
}

} // namespace bench
