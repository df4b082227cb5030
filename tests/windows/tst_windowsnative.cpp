// The frameless windows' native side on Windows: the system's hit test on the real window
// handles, as its cursor shows it; what a press on the border does; the DPI setting the program
// runs with (where a point lies on the border, and what it may size, tst_borderhittest tests).
// Registered twice: as the program runs, and with the toolkit scaling by 2 (QT_SCALE_FACTOR),
// where the system's pixels and the toolkit's differ.

#include "devicerecord.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "ipset.h"
#include "lanscoutresources.h"
#include "mainwindow.h"
#include "windowsrun.h"

#include <QtTest>

#include <qt_windows.h>
#include <shellscalingapi.h>

Q_DECLARE_METATYPE(QMargins)

namespace {

// The toolkit reads its configuration, the DPI setting among it, while the application object
// is built: the resources must be there before, as they are in the program.
const bool resourcesRegistered = (initLanScoutResources(), true);

// A point given in the window's own toolkit pixels (negative coordinates count from the right or
// bottom edge: -1 is the last pixel) on the screen, in the system's pixels.
POINT screenPoint(const QWidget &window, QPoint p)
{
    RECT frame;
    GetWindowRect(HWND(window.winId()), &frame);
    const qreal ratio = window.devicePixelRatioF();
    const QSize size = window.size();
    return {frame.left + LONG((p.x() < 0 ? size.width() + p.x() : p.x()) * ratio),
            frame.top + LONG((p.y() < 0 ? size.height() + p.y() : p.y()) * ratio)};
}

QRect systemRect(const QWidget &window)
{
    RECT r;
    GetWindowRect(HWND(window.winId()), &r);
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

} // namespace

class tst_WindowsNative : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void pressOnTheBorder_data();
    void pressOnTheBorder();
    void dpiUnaware();

private:
    IpItemMode m_model;
    IpList m_list{m_model};
    SetIpRequest m_request;
    // Both shown once for all rows (a window takes a second or two to show under Wine). The
    // dialog deletes itself when closed, as in the program.
    mainWindow m_main{m_list, m_model};
    IpSet *m_dialog = new IpSet(&m_request, &m_main);
};

void tst_WindowsNative::initTestCase()
{
    QVERIFY(resourcesRegistered);
    m_main.show();
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_main));
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
}

// Each row finds the windows as they were shown, whatever the row before did to them: side by
// side, the dialog at its smallest.
void tst_WindowsNative::init()
{
    m_main.move(50, 50);
    m_dialog->setGeometry(900, 50, m_dialog->minimumWidth(), m_dialog->minimumHeight());
}

void tst_WindowsNative::pressOnTheBorder_data()
{
    QTest::addColumn<QWidget *>("window");
    QWidget *main = &m_main, *dialog = m_dialog;
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QPoint>("drag");     // in the system's pixels
    QTest::addColumn<int>("cursor");      // the system's cursor over the point
    QTest::addColumn<QMargins>("growth"); // of the window's geometry, in toolkit pixels
    auto id = [](const void *cursor) { return int(reinterpret_cast<quintptr>(cursor)); };
    // The main window's size is fixed: it neither grows nor moves. Its first and last pixels, the
    // border's inner one, and past it the toolkit's own answer (the arrow; a press there moves
    // the window, so no drag).
    QTest::newRow("main window, top-left corner, inwards")
        << main << QPoint(0, 0) << QPoint(10, 10) << id(IDC_SIZENWSE) << QMargins();
    QTest::newRow("main window, right edge's inner pixel, outwards")
        << main << QPoint(-4, 200) << QPoint(40, 0) << id(IDC_SIZEWE) << QMargins();
    QTest::newRow("main window, bottom-right corner, outwards")
        << main << QPoint(-1, -1) << QPoint(40, 40) << id(IDC_SIZENWSE) << QMargins();
    QTest::newRow("main window, inside, past the bottom-right corner")
        << main << QPoint(-5, -5) << QPoint() << id(IDC_ARROW) << QMargins();
    // The dialog's width may change from 520 to 528 (it starts at 520), its height not.
    QTest::newRow("dialog, right edge, inwards")
        << dialog << QPoint(-1, 100) << QPoint(-40, 0) << id(IDC_SIZEWE) << QMargins();
    QTest::newRow("dialog, bottom-left corner, outwards")
        << dialog << QPoint(0, -1) << QPoint(-40, 40) << id(IDC_SIZENESW) << QMargins(8, 0, 0, 0);
    QTest::newRow("dialog, bottom edge, outwards")
        << dialog << QPoint(200, -1) << QPoint(0, 40) << id(IDC_SIZENS) << QMargins();
}

// The border shows the system's resize cursors; pressing there and dragging sizes the window
// only as far as its size may change, and moves no edge that should stay.
void tst_WindowsNative::pressOnTheBorder()
{
    QFETCH(QWidget *, window);
    QFETCH(QPoint, point);
    QFETCH(QPoint, drag);
    QFETCH(int, cursor);
    QFETCH(QMargins, growth);
    const QRect before = window->geometry();
    const QRect systemBefore = systemRect(*window);
    const POINT p = screenPoint(*window, point);

    QVERIFY(SetCursorPos(p.x, p.y));
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            CURSORINFO info{};
            info.cbSize = sizeof info;
            return GetCursorInfo(&info) && info.hCursor == LoadCursorW(nullptr, MAKEINTRESOURCEW(cursor));
        }(),
        2000);

    // The gesture from another thread, as a user's hand: a sizing loop of the system, if the
    // press starts one, runs on this thread and takes the moves and the release.
    QThread *hand = QThread::create([drag] {
        auto send = [](INPUT input) { SendInput(1, &input, sizeof input); };
        send(windowsrun::mouseInput(MOUSEEVENTF_LEFTDOWN));
        for (int step = 1; step <= 4; ++step) {
            QThread::msleep(100);
            send(windowsrun::mouseInput(MOUSEEVENTF_MOVE, drag.x() * step / 4 - drag.x() * (step - 1) / 4,
                                        drag.y() * step / 4 - drag.y() * (step - 1) / 4));
        }
        QThread::msleep(100);
        send(windowsrun::mouseInput(MOUSEEVENTF_LEFTUP));
    });
    hand->start();
    QTRY_VERIFY_WITH_TIMEOUT(hand->isFinished(), 5000);
    delete hand;
    QTest::qWait(200);
    QCOMPARE(window->geometry(), before + growth);
    QCOMPARE(systemRect(*window), systemBefore + growth * window->devicePixelRatioF());
}

// The toolkit's configuration makes the process DPI-unaware: the system scales the fixed-size
// windows, and the toolkit's pixels are the system's (see the hit test).
void tst_WindowsNative::dpiUnaware()
{
    PROCESS_DPI_AWARENESS awareness = PROCESS_PER_MONITOR_DPI_AWARE;
    QCOMPARE(GetProcessDpiAwareness(nullptr, &awareness), S_OK);
    QCOMPARE(int(awareness), int(PROCESS_DPI_UNAWARE));
}

QTEST_MAIN(tst_WindowsNative)
#include "tst_windowsnative.moc"
