#pragma once

#include <QObject>

#include <functional>

class QWidget;
class QWindow;

// Tells when a top-level window has handled its first expose, that is, has been painted and
// handed to the screen. Made before show().
class ShownProbe : public QObject
{
    Q_OBJECT
public:
    ShownProbe(QWidget &window, std::function<void()> onShown);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWindow *m_window;
    std::function<void()> m_onShown;
    bool m_inside = false;
};
