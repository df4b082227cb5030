#include "borderhittest.h"

#include <QtTest>

Q_DECLARE_METATYPE(BorderHit)

// The main window's resize border: 800 x 600, 4 pixels wide.
class tst_BorderHitTest : public QObject
{
    Q_OBJECT
private slots:
    void hit_data();
    void hit();
};

void tst_BorderHitTest::hit_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<BorderHit>("expected");

    QTest::newRow("top-left corner") << QPoint(0, 0) << BorderHit::TopLeft;
    QTest::newRow("top, next to top-left") << QPoint(4, 3) << BorderHit::Top;
    QTest::newRow("left, below top-left") << QPoint(3, 4) << BorderHit::Left;
    QTest::newRow("top-right corner") << QPoint(799, 0) << BorderHit::TopRight;
    QTest::newRow("top, next to top-right") << QPoint(795, 3) << BorderHit::Top;
    QTest::newRow("left") << QPoint(0, 300) << BorderHit::Left;
    QTest::newRow("bottom-left corner") << QPoint(0, 599) << BorderHit::BottomLeft;
    QTest::newRow("left, above bottom-left") << QPoint(3, 595) << BorderHit::Left;
    QTest::newRow("right") << QPoint(799, 300) << BorderHit::Right;
    QTest::newRow("right, above bottom-right") << QPoint(796, 595) << BorderHit::Right;
    QTest::newRow("bottom-right corner") << QPoint(799, 599) << BorderHit::BottomRight;
    QTest::newRow("top") << QPoint(400, 0) << BorderHit::Top;
    QTest::newRow("bottom") << QPoint(400, 599) << BorderHit::Bottom;
    QTest::newRow("inside, just past the border") << QPoint(4, 4) << BorderHit::None;
    QTest::newRow("inside, opposite corner") << QPoint(795, 595) << BorderHit::None;
    QTest::newRow("middle") << QPoint(400, 300) << BorderHit::None;
    QTest::newRow("outside, above and left") << QPoint(-2, -2) << BorderHit::TopLeft;
}

void tst_BorderHitTest::hit()
{
    QFETCH(QPoint, pos);
    QFETCH(BorderHit, expected);
    QCOMPARE(borderHitTest(pos, QSize(800, 600), 4), expected);
}

QTEST_APPLESS_MAIN(tst_BorderHitTest)
#include "tst_borderhittest.moc"
