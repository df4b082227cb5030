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

QTEST_APPLESS_MAIN(tst_BorderHitTest)
#include "tst_borderhittest.moc"
