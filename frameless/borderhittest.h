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

// What a press at hit may size: the axes of hit along which the window's size can change.
// A corner of a window whose height is fixed sizes its width only, and so on; None when the
// size is fixed along each of hit's axes.
BorderHit sizingHit(BorderHit hit, bool widthFixed, bool heightFixed);

class QWidget;

// A frameless window's answers to the system about its resize border, for its nativeEvent().
// The hit test (WM_NCHITTEST) gets the border's codes, so that the system shows its resize
// cursors there. A press on the border sizes the window only along the axes its minimum and
// maximum sizes leave free (sizingHit()), and a double click there does nothing: the system's
// sizing of a window whose size is fixed can still change it by a pixel (under Wine it does).
// True, with *result set, for the messages answered here; false for every other message and
// point, and on every other platform.
bool answerNativeBorderMessage(const QWidget &window, const void *message, long *result, int border);
