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

BorderHit sizingHit(BorderHit hit, bool widthFixed, bool heightFixed)
{
    const bool left = hit == BorderHit::Left || hit == BorderHit::TopLeft || hit == BorderHit::BottomLeft;
    const bool right = hit == BorderHit::Right || hit == BorderHit::TopRight || hit == BorderHit::BottomRight;
    const bool top = hit == BorderHit::Top || hit == BorderHit::TopLeft || hit == BorderHit::TopRight;
    const bool bottom =
        hit == BorderHit::Bottom || hit == BorderHit::BottomLeft || hit == BorderHit::BottomRight;
    const int horizontal = widthFixed ? 0 : left ? -1 : right ? 1 : 0;
    const int vertical = heightFixed ? 0 : top ? -1 : bottom ? 1 : 0;
    static const BorderHit codes[3][3] = {
        {BorderHit::TopLeft, BorderHit::Top, BorderHit::TopRight},
        {BorderHit::Left, BorderHit::None, BorderHit::Right},
        {BorderHit::BottomLeft, BorderHit::Bottom, BorderHit::BottomRight},
    };
    return codes[vertical + 1][horizontal + 1];
}
