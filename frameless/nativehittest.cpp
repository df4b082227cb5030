#include "borderhittest.h"

#include <QWidget>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <windowsx.h>

#include <cmath>

namespace {

bool isBorder(WPARAM code)
{
    return code >= WPARAM(BorderHit::Left) && code <= WPARAM(BorderHit::BottomRight);
}

} // namespace

bool answerNativeBorderMessage(const QWidget &window, const void *message, long *result, int border)
{
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message == WM_NCLBUTTONDOWN || msg->message == WM_NCLBUTTONDBLCLK) {
        if (!isBorder(msg->wParam))
            return false;
        const BorderHit hit = BorderHit(msg->wParam);
        const BorderHit sizing = sizingHit(hit, window.minimumWidth() == window.maximumWidth(),
                                           window.minimumHeight() == window.maximumHeight());
        if (msg->message == WM_NCLBUTTONDOWN && sizing == hit)
            return false; // the system sizes it
        if (msg->message == WM_NCLBUTTONDOWN && sizing != BorderHit::None)
            DefWindowProcW(msg->hwnd, WM_NCLBUTTONDOWN, WPARAM(sizing), msg->lParam);
        *result = 0;
        return true;
    }
    if (msg->message != WM_NCHITTEST)
        return false;
    // lParam holds the pointer in screen coordinates as two signed 16-bit numbers, in the
    // system's pixels; the window's size is in the toolkit's. Both meet in the window's own
    // toolkit pixels: the same numbers while the process runs DPI-unaware, as its
    // configuration makes it, and still right if it ever runs scaled. A frameless window's
    // client area is the whole window.
    POINT point{GET_X_LPARAM(msg->lParam), GET_Y_LPARAM(msg->lParam)};
    if (!ScreenToClient(msg->hwnd, &point))
        return false;
    const qreal ratio = window.devicePixelRatioF();
    const QPoint pos(int(std::floor(point.x / ratio)), int(std::floor(point.y / ratio)));
    const BorderHit hit = borderHitTest(pos, window.size(), border);
    if (hit == BorderHit::None)
        return false;
    *result = static_cast<long>(hit);
    return true;
}

#else

bool answerNativeBorderMessage(const QWidget &, const void *, long *, int)
{
    return false;
}

#endif
