// lanscout-cli: the devices on the command line, for scripts and headless machines.

#include "options.h"
#include "run.h"

#include <QCoreApplication>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    _setmode(_fileno(stdout), _O_BINARY); // CSV ends its records in CR LF itself
#endif
    QCoreApplication app(argc, argv);
    const cli::Parsed parsed = cli::parseArguments(QCoreApplication::arguments());
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "lanscout-cli: %s\nRun \"lanscout-cli --help\" for the commands and options.\n",
                     qUtf8Printable(parsed.error));
        return cli::BadInput;
    }
    if (parsed.options.command == cli::Command::None) {
        std::fputs(qUtf8Printable(parsed.text), stdout);
        return 0;
    }
    return cli::run(parsed.options);
}
