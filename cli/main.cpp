// lanscout-cli: the devices on the command line, for scripts and headless machines.

#include "engine.h"
#include "options.h"
#include "run.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // One line end on both streams, LF (CSV ends its records in CR LF itself): no CR added.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    QCoreApplication app(argc, argv);
    const cli::Parsed parsed = cli::parseArguments(QCoreApplication::arguments());
    if (!parsed.error.isEmpty()) {
        cli::note(parsed.error);
        cli::writeStream(stderr, "Run \"lanscout-cli --help\" for the commands and options.\n");
        return cli::BadInput;
    }
    if (parsed.options.command == cli::Command::None) {
        cli::out(parsed.text.toUtf8());
        return 0;
    }
    return cli::run(parsed.options);
}
