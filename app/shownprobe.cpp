#include "shownprobe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

ShownProbe::ShownProbe(QWidget &window, std::function<void()> onShown)
    : QObject(&window), m_onShown(std::move(onShown))
{
    window.winId(); // makes the window handle now, so it is watched from its first event on
    m_window = window.windowHandle();
    m_window->installEventFilter(this);
}

bool ShownProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::Expose || m_inside)
        return false;
    // Let the window handle the expose (paint and flush) first, then tell.
    m_inside = true;
    QCoreApplication::sendEvent(m_window, event);
    m_inside = false;
    if (m_window->isExposed()) {
        m_window->removeEventFilter(this);
        m_onShown();
    }
    return true;
}
