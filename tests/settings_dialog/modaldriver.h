#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

// Drives modal dialogs from inside their exec() loops. While it lives it looks at the
// active modal widget every few milliseconds and hands it to the current step; a step
// returns true once it has acted, and the next step takes over. Steps must not block:
// they click through clickLater(), so a nested modal box runs in its own event.
// Past the deadline every modal widget is rejected, so a test that goes wrong fails
// instead of hanging.
class ModalDriver
{
public:
    using Step = std::function<bool(QWidget *modal)>;

    explicit ModalDriver(std::vector<Step> steps, int deadlineMs = 5000)
        : m_steps(std::move(steps)), m_deadlineMs(deadlineMs)
    {
        m_clock.start();
        m_timer.callOnTimeout([this] { tick(); });
        m_timer.start(5);
    }

    bool finished() const { return m_next == m_steps.size(); }
    bool timedOut() const { return m_timedOut; }
    bool sawModal() const { return m_sawModal; }

    static void clickLater(QAbstractButton *button)
    {
        QTimer::singleShot(0, button, &QAbstractButton::click);
    }

private:
    void tick()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        m_sawModal = true;
        if (m_clock.elapsed() > m_deadlineMs) {
            m_timedOut = true;
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
            return;
        }
        if (m_next < m_steps.size() && m_steps[m_next](modal))
            ++m_next;
    }

    std::vector<Step> m_steps;
    size_t m_next = 0;
    int m_deadlineMs;
    bool m_timedOut = false;
    bool m_sawModal = false;
    QElapsedTimer m_clock;
    QTimer m_timer;
};
