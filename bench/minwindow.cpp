// The yardstick for start-up: the least a Qt widgets program does to put a window on screen.
// Prints "phase <name> <ns>" (CLOCK_MONOTONIC) at each step and "shown <ns>" once the window is
// painted, then quits.

#include "shownprobe.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {
void printPhase(const char *name, qint64 ns)
{
    std::printf("phase %s %lld\n", name, ns);
}
} // namespace

int main(int argc, char *argv[])
{
    printPhase("main", bench::monotonicNs());
    QApplication app(argc, argv);
    printPhase("application", bench::monotonicNs());
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("lanScout")));
    window.resize(800, 600);
    printPhase("window", bench::monotonicNs());
    bench::ShownProbe shown(window, [](qint64 ns) {
        std::printf("shown %lld\n", ns);
        std::fflush(stdout);
        QTimer::singleShot(100, qApp, &QCoreApplication::quit);
    });
    window.show();
    printPhase("show", bench::monotonicNs());
    QTimer::singleShot(10000, qApp, &QCoreApplication::quit); // bounded, shown or not
    return QApplication::exec();
}
