#include "framelesswindow.h"

#include "borderhittest.h"

#include <QMouseEvent>
#include <QWidget>

void FramelessWindow::makeFrameless()
{
    m_window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                            Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
}

void FramelessWindow::mousePress(const QMouseEvent &event)
{
    if (event.button() == Qt::LeftButton)
        m_dragPos = event.pos();
}

void FramelessWindow::mouseMove(const QMouseEvent &event)
{
    if (event.buttons() & Qt::LeftButton)
        m_window.move(m_window.pos() + event.pos() - m_dragPos);
}

bool FramelessWindow::nativeEvent(void *message, long *result) const
{
    return answerNativeBorderMessage(m_window, message, result, m_borderWidth);
}
