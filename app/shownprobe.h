#pragma once

#include <QObject>

#include <chrono>
#include <functional>

class QWidget;
class QWindow;

namespace bench {

// CLOCK_MONOTONIC in nanoseconds: one clock for every process of a run, so that a stamp
// taken in one process can be compared with a stamp taken in another.
inline qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The moment a top-level window has handled its first expose, that is, has been painted and
// handed to the screen. Made before show().
class ShownProbe : public QObject
{
    Q_OBJECT
public:
    // onShown, when given, is called with the time as soon as it is taken.
    explicit ShownProbe(QWidget &window, std::function<void(qint64)> onShown = {});
    qint64 shownNs() const { return m_shownNs; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWindow *m_window;
    std::function<void(qint64)> m_onShown;
    qint64 m_shownNs = 0;
    bool m_inside = false;
};

} // namespace bench
