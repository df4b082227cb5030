#include "mytrapezoid.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>

MyTrapezoid::MyTrapezoid(QWidget *parent) : QWidget(parent) {}

MyTrapezoid::~MyTrapezoid() = default;

void MyTrapezoid::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal w = width() - 1;
    const qreal h = height() - 1;
    // The bottom edge lies 5 pixels below the widget and is clipped away, so the slanted
    // edge runs on to the bottom row.
    QPainterPath path;
    path.moveTo(QPointF(0, 0));
    path.lineTo(QPointF(w, 0));
    path.lineTo(QPointF(w - 15, h + 5));
    path.lineTo(QPointF(0, h + 5));
    path.closeSubpath();

    QColor white;
    white.setNamedColor(QStringLiteral("#FFFFFF"));
    painter.fillPath(path, QBrush(white));
}
