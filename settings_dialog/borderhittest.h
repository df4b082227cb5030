#pragma once

#include <QPoint>
#include <QSize>

// Where a point lies on the resize border of a frameless window. The values are those of
// the Windows WM_NCHITTEST answers, so the window can hand them back as they are.
enum class BorderHit : int
{
    None = 0,
    Left = 10,
    Right = 11,
    Top = 12,
    TopLeft = 13,
    TopRight = 14,
    Bottom = 15,
    BottomLeft = 16,
    BottomRight = 17,
};

// pos is relative to the window's top-left corner; border is the border's width in pixels.
BorderHit borderHitTest(QPoint pos, QSize size, int border);

class QWidget;

// A frameless window's answer to the Windows hit test (WM_NCHITTEST), for its nativeEvent():
// true, with the code in *result, when the pointer is on the resize border of the given width;
// false for any other message or point, and on every other platform.
bool answerNativeHitTest(const QWidget &window, const void *message, long *result, int border);
