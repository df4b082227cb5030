#include "clirun.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

int runCliList(const CliRunOptions &o)
{
    using namespace bench;
    if (!requireTestNetwork())
        return 3;
    QString why;
    Devsim sim;
    if (!sim.start({QStringLiteral("--devices"), QString::number(o.devices), QStringLiteral("--spread"),
                    QString::number(o.spreadMs)},
                   o.windowS + 40, &why)) {
        reportError(why);
        return 1;
    }
    QTemporaryDir dir;
    const QByteArray output = dir.filePath(QStringLiteral("list.json")).toLocal8Bit();
    const QByteArray program(LANSCOUT_CLI_PATH), wait = QByteArray::number(o.windowS);
    const char *argv[] = {program.constData(), "list", "--wait", wait.constData(),
                          "--format",          "json", nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const qint64 started = monotonicNs();
    const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        reportError(QStringLiteral("cannot start %1").arg(QString::fromLocal8Bit(program)));
        return 1;
    }
    // wait4 rather than QProcess: the kernel's peak resident size of this child alone.
    int status = 0;
    struct rusage usage = {};
    qint64 ended = 0;
    runUntil(
        [&] {
            if (wait4(pid, &status, WNOHANG, &usage) == pid)
                ended = monotonicNs();
            return ended != 0;
        },
        (o.windowS + 30) * 1000);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        reportError(QStringLiteral("lanscout-cli did not end 30 s after its wait"));
        return 1;
    }
    QFile file(QString::fromLocal8Bit(output));
    const int listed =
        file.open(QIODevice::ReadOnly) ? int(QJsonDocument::fromJson(file.readAll()).array().size()) : -1;
    const double elapsedMs = double(ended - started) / 1e6;
    std::printf(
        "result mode=cli devices=%d spread=%d listed=%d all_listed=%d exit=%d wait_ms=%d elapsed_ms=%.0f "
        "over_ms=%.0f peak_rss_kib=%ld\n",
        o.devices, o.spreadMs, listed, listed == o.devices ? 1 : 0,
        WIFEXITED(status) ? WEXITSTATUS(status) : -1, o.windowS * 1000, elapsedMs,
        elapsedMs - o.windowS * 1000, usage.ru_maxrss);
    std::fflush(stdout);
    sim.stop();
    return 0;
}
