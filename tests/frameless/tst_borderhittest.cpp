#include "borderhittest.h"

#include <QtTest>

Q_DECLARE_METATYPE(BorderHit)

// The resize border: where a press lies on the main window's (800 x 600, 4 pixels wide), and
// what it may size when the window's width or height is fixed.
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
    QTest::addColumn<bool>("widthFixed");
    QTest::addColumn<bool>("heightFixed");
    QTest::addColumn<BorderHit>("expected");
    const auto row = [](const char *name, QPoint pos, BorderHit expected, bool widthFixed = false,
                        bool heightFixed = false) {
        QTest::newRow(name) << pos << widthFixed << heightFixed << expected;
    };

    row("top-left corner", {3, 3}, BorderHit::TopLeft);
    row("top-right corner", {796, 0}, BorderHit::TopRight);
    row("bottom-left corner", {0, 596}, BorderHit::BottomLeft);
    row("bottom-right corner", {799, 599}, BorderHit::BottomRight);
    row("top, next to top-left", {4, 3}, BorderHit::Top);
    row("left, below top-left", {3, 4}, BorderHit::Left);
    row("right, above bottom-right", {796, 595}, BorderHit::Right);
    row("bottom", {400, 596}, BorderHit::Bottom);
    row("inside, just past the border", {4, 4}, BorderHit::None);
    row("inside, opposite corner", {795, 595}, BorderHit::None);
    row("fixed size: no edge", {0, 300}, BorderHit::None, true, true);
    row("fixed size: no corner", {799, 599}, BorderHit::None, true, true);
    row("fixed height: a side edge", {799, 300}, BorderHit::Right, false, true);
    row("fixed height: no top edge", {400, 0}, BorderHit::None, false, true);
    row("fixed height: a corner sizes the width", {0, 599}, BorderHit::Left, false, true);
    row("fixed width: a corner sizes the height", {799, 0}, BorderHit::Top, true, false);
    row("fixed width: a bottom edge", {400, 599}, BorderHit::Bottom, true, false);
}

void tst_BorderHitTest::hit()
{
    QFETCH(QPoint, pos);
    QFETCH(bool, widthFixed);
    QFETCH(bool, heightFixed);
    QFETCH(BorderHit, expected);
    QCOMPARE(sizingHit(borderHitTest(pos, QSize(800, 600), 4), widthFixed, heightFixed), expected);
}

QTEST_APPLESS_MAIN(tst_BorderHitTest)
#include "tst_borderhittest.moc"
