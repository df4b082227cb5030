#include "diagnostics.h"
#include "globals.h"
#include "mainwindow.h"
#include "startup.h"
#include "threadctl.h"
#include "udpserver.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (printedInformationAnswer(argc, argv))
        return 0;

    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    // Declared in this order so that they go in the reverse one: the worker thread first
    // (ThreadCtl's destructor ends and joins it), then the window, and the application last.
    QApplication app(argc, argv);
    prepareStart(_ipItemMode);

    mainWindow window(_ipList, _ipItemMode);
    window.show();
    closeOnTerminationSignals(window);
    startFieldProbe(_ipItemMode, window);

    // Only now, with the window on screen, does the network work start.
    ThreadCtl threadCtl(_ipList);
    emit threadCtl.server->start();
    return app.exec();
}
