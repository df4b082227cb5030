#include "borderhittest.h"

BorderHit borderHitTest(QPoint pos, QSize size, int border)
{
    const int x = pos.x();
    const int y = pos.y();
    const int w = size.width();
    const int h = size.height();
    // The corners win over the edges; the order of the tests matters.
    if (x < border && y < border)
        return BorderHit::TopLeft;
    if (x >= w - border && y < border)
        return BorderHit::TopRight;
    if (x < border)
        return y >= h - border ? BorderHit::BottomLeft : BorderHit::Left;
    if (x >= w - border)
        return y < h - border ? BorderHit::Right : BorderHit::BottomRight;
    if (y < border)
        return BorderHit::Top;
    if (y >= h - border)
        return BorderHit::Bottom;
    return BorderHit::None;
}
