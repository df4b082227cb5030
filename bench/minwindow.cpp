// The yardstick for start-up: the least a Qt widgets program does to put a window on screen.
// Prints "phase <name> <ns>" (CLOCK_MONOTONIC) at each step and "shown <ns>" once the window is
// painted, then quits.

#include "shownprobe.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <cstdio>

namespace {
// CLOCK_MONOTONIC, as the program's probe stamps.
qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
void printPhase(const char *name)
{
    std::printf("phase %s %lld\n", name, monotonicNs());
}
} // namespace

int main(int argc, char *argv[])
{
    printPhase("main");
    QApplication app(argc, argv);
    printPhase("application");
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("lanScout")));
    window.resize(800, 600);
    printPhase("window");
    ShownProbe shown(window, [] {
        std::printf("shown %lld\n", monotonicNs());
        std::fflush(stdout);
        QTimer::singleShot(100, qApp, &QCoreApplication::quit);
    });
    window.show();
    printPhase("show");
    QTimer::singleShot(10000, qApp, &QCoreApplication::quit); // bounded, shown or not
    return QApplication::exec();
}
