#include "globals.h"
#include "threadctl.h"
#include "udpserver.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("lanScout"));
    window.show();
    ThreadCtl threadCtl(_ipList);
    emit threadCtl.server->start();
    return app.exec();
}
