#include "borderhittest.h"

#include <QtTest>

Q_DECLARE_METATYPE(BorderHit)

// The resize border: where a point lies on the main window's (800 x 600, 4 pixels wide), and
// what a press there may size.
class tst_BorderHitTest : public QObject
{
    Q_OBJECT
private slots:
    void hit_data();
    void hit();
    void sizing_data();
    void sizing();
};

void tst_BorderHitTest::hit_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<BorderHit>("expected");

    QTest::newRow("top-left corner") << QPoint(3, 3) << BorderHit::TopLeft;
    QTest::newRow("top-right corner") << QPoint(796, 0) << BorderHit::TopRight;
    QTest::newRow("bottom-left corner") << QPoint(0, 596) << BorderHit::BottomLeft;
    QTest::newRow("bottom-right corner") << QPoint(799, 599) << BorderHit::BottomRight;
    QTest::newRow("top, next to top-left") << QPoint(4, 3) << BorderHit::Top;
    QTest::newRow("left, below top-left") << QPoint(3, 4) << BorderHit::Left;
    QTest::newRow("right, above bottom-right") << QPoint(796, 595) << BorderHit::Right;
    QTest::newRow("bottom") << QPoint(400, 596) << BorderHit::Bottom;
    QTest::newRow("inside, just past the border") << QPoint(4, 4) << BorderHit::None;
    QTest::newRow("inside, opposite corner") << QPoint(795, 595) << BorderHit::None;
}

void tst_BorderHitTest::hit()
{
    QFETCH(QPoint, pos);
    QFETCH(BorderHit, expected);
    QCOMPARE(borderHitTest(pos, QSize(800, 600), 4), expected);
}

void tst_BorderHitTest::sizing_data()
{
    QTest::addColumn<BorderHit>("hit");
    QTest::addColumn<bool>("widthFixed");
    QTest::addColumn<bool>("heightFixed");
    QTest::addColumn<BorderHit>("expected");

    QTest::newRow("free size: a corner as it is")
        << BorderHit::TopLeft << false << false << BorderHit::TopLeft;
    QTest::newRow("fixed size: no edge") << BorderHit::Left << true << true << BorderHit::None;
    QTest::newRow("fixed size: no corner") << BorderHit::BottomRight << true << true << BorderHit::None;
    QTest::newRow("fixed height: a side edge") << BorderHit::Right << false << true << BorderHit::Right;
    QTest::newRow("fixed height: no top edge") << BorderHit::Top << false << true << BorderHit::None;
    QTest::newRow("fixed height: a corner sizes the width")
        << BorderHit::BottomLeft << false << true << BorderHit::Left;
    QTest::newRow("fixed width: a corner sizes the height")
        << BorderHit::TopRight << true << false << BorderHit::Top;
    QTest::newRow("fixed width: a bottom edge") << BorderHit::Bottom << true << false << BorderHit::Bottom;
    QTest::newRow("not on the border") << BorderHit::None << false << false << BorderHit::None;
}

void tst_BorderHitTest::sizing()
{
    QFETCH(BorderHit, hit);
    QFETCH(bool, widthFixed);
    QFETCH(bool, heightFixed);
    QFETCH(BorderHit, expected);
    QCOMPARE(sizingHit(hit, widthFixed, heightFixed), expected);
}

QTEST_APPLESS_MAIN(tst_BorderHitTest)
#include "tst_borderhittest.moc"
