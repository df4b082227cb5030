#include "mytrapezoid.h"

#include <QImage>
#include <QtTest>

class tst_Trapezoid : public QObject
{
    Q_OBJECT
private slots:
    void shape_data();
    void shape();
};

void tst_Trapezoid::shape_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("topEdge");         // top row: white up to here, mostly white here
    QTest::addColumn<int>("bottomEdge");      // the same for the bottom row
    QTest::addColumn<int>("bottomFirstDark"); // from here on the bottom row shows the background

    // The right edge runs from x = w - 1 at the top to x = w - 1 - 15 h' / (h' + 5) at the
    // bottom row (h' = h - 1): 185.2 for 200 x 60, 86.2 for 100 x 30.
    QTest::newRow("title strip, 200 x 60") << QSize(200, 60) << 198 << 184 << 186;
    QTest::newRow("after a resize, 100 x 30") << QSize(100, 30) << 98 << 85 << 87;
}

void tst_Trapezoid::shape()
{
    QFETCH(QSize, size);
    QFETCH(int, topEdge);
    QFETCH(int, bottomEdge);
    QFETCH(int, bottomFirstDark);

    const QRgb white = qRgb(255, 255, 255);
    const QRgb dark = qRgb(0x0C, 0x1D, 0x3C);
    MyTrapezoid trapezoid;
    // Painted for the current size every time: start from another size.
    trapezoid.resize(size * 2);
    trapezoid.resize(size);
    QImage image(size, QImage::Format_RGB32);
    image.fill(dark); // the title strip behind the widget
    trapezoid.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    const int bottom = size.height() - 1;
    const auto mostlyWhite = [&](int x, int y) { return qRed(image.pixel(x, y)) > 192; };
    for (int x = 0; x < topEdge; ++x)
        QCOMPARE(image.pixel(x, 0), white);
    QVERIFY(mostlyWhite(topEdge, 0));
    // Anti-aliased: the edge pixel blends the two colours.
    QVERIFY(image.pixel(topEdge, 0) != white);
    QCOMPARE(image.pixel(size.width() - 1, 0), dark);

    for (int x = 0; x < bottomEdge; ++x)
        QCOMPARE(image.pixel(x, bottom), white);
    QVERIFY(mostlyWhite(bottomEdge, bottom));
    QVERIFY(!mostlyWhite(bottomEdge + 1, bottom));
    for (int x = bottomFirstDark; x < size.width(); ++x)
        QCOMPARE(image.pixel(x, bottom), dark);

    // The left column is white from top to bottom: the clipped bottom edge never shows.
    for (int y = 0; y <= bottom; ++y)
        QCOMPARE(image.pixel(0, y), white);
}

QTEST_MAIN(tst_Trapezoid)
#include "tst_trapezoid.moc"
