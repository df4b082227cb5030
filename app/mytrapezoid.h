#pragma once

#include <QWidget>

// The white shape behind the logo in the title strip: a trapezoid over the whole widget
// whose right edge slants inwards towards the bottom. Stateless; painted for the current
// size every time.
class MyTrapezoid : public QWidget
{
public:
    explicit MyTrapezoid(QWidget *parent = nullptr);
    ~MyTrapezoid() override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
