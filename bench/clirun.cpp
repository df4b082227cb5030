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
#include <sys/resource.h>
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
    // Spawned and reaped by hand rather than by QProcess: wait4 gives the kernel's peak resident
    // size of this child alone.
    const QByteArray program = testbed::cliPath().toLocal8Bit(), wait = QByteArray::number(waitS);
    const QByteArray output = dir.filePath(QStringLiteral("list.json")).toLocal8Bit();
    const char *argv[] = {program.constData(), "list", "--wait", wait.constData(),
                          "--format",          "json", nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    QElapsedTimer clock;
    clock.start();
    const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        f.error = QStringLiteral("cannot start %1").arg(testbed::cliPath());
        return f;
    }
    int status = 0;
    struct rusage usage = {};
    qint64 endedNs = -1;
    const bool ended = QTest::qWaitFor(
        [&] {
            if (wait4(pid, &status, WNOHANG, &usage) == pid)
                endedNs = clock.nsecsElapsed();
            return endedNs >= 0;
        },
        (waitS + 30) * 1000);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        f.error = QStringLiteral("lanscout-cli did not end 30 s after its wait");
        return f;
    }
    QFile file(QString::fromLocal8Bit(output));
    f.listed =
        file.open(QIODevice::ReadOnly) ? int(QJsonDocument::fromJson(file.readAll()).array().size()) : -1;
    f.elapsedS = double(endedNs) / 1e9;
    f.peakKib = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        f.error = QStringLiteral("lanscout-cli ended with status %1").arg(status);
    return f;
}

} // namespace bench
