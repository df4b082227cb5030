#pragma once

#include <QEvent>
#include <QPoint>

class QMouseEvent;
class QWidget;

// The handling the program's frameless windows share. Each window keeps one and calls it from
// its own event handlers: dragged by the left mouse button wherever a press reaches the window
// itself, and a resize border answered to the system (borderhittest.h).
class FramelessWindow
{
public:
    // window must outlive this object (a member of the window does).
    explicit FramelessWindow(QWidget &window) : m_window(window) {}

    // No system frame, but the system menu and the minimise and maximise entries it offers.
    void makeFrameless();

    void mousePress(const QMouseEvent &event);
    // Keeps the grabbed point under the pointer.
    void mouseMove(const QMouseEvent &event);
    // For the window's nativeEvent(): without a system frame the window answers the system about
    // its border itself, so that the system shows its resize cursors there. Elsewhere than on
    // Windows there is nothing to answer.
    bool nativeEvent(void *message, long *result) const;

private:
    QWidget &m_window;
    int m_borderWidth = 4; // resize border answered to the system's hit test, in pixels
    QPoint m_dragPos;      // where the left button was last pressed, in window coordinates
};

// For the window's changeEvent(), after the base class's: the form's texts anew in the
// language just installed.
template <typename Form, typename Window>
void retranslateOnLanguageChange(const QEvent &event, Form &form, Window *window)
{
    if (event.type() == QEvent::LanguageChange)
        form.retranslateUi(window);
}
