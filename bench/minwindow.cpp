// The yardstick for start-up: the least a Qt widgets program does to put a window on screen.
// Prints "shown <ns>" (CLOCK_MONOTONIC) once the window is painted, then quits.

#include "shownprobe.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("lanScout")));
    window.resize(800, 600);
    bench::ShownProbe shown(window, [](qint64 ns) {
        std::printf("shown %lld\n", ns);
        std::fflush(stdout);
        QTimer::singleShot(100, qApp, &QCoreApplication::quit);
    });
    window.show();
    QTimer::singleShot(10000, qApp, &QCoreApplication::quit); // bounded, shown or not
    return QApplication::exec();
}
