#include "shownprobe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace bench {

ShownProbe::ShownProbe(QWidget &window, std::function<void(qint64)> onShown)
    : QObject(&window), m_onShown(std::move(onShown))
{
    window.winId(); // makes the window handle now, so it is watched from its first event on
    m_window = window.windowHandle();
    m_window->installEventFilter(this);
}

bool ShownProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::Expose || m_inside || m_shownNs)
        return false;
    // Let the window handle the expose (paint and flush) first, then take the time.
    m_inside = true;
    QCoreApplication::sendEvent(m_window, event);
    m_inside = false;
    if (m_window->isExposed()) {
        m_shownNs = monotonicNs();
        m_window->removeEventFilter(this);
        if (m_onShown)
            m_onShown(m_shownNs);
    }
    return true;
}

} // namespace bench
