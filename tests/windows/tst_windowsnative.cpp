// The frameless windows' native side on Windows: the system's hit test on the real window
// handles, what a press on the border does, and the DPI setting the program runs with.
// Registered twice: as the program runs, and with the toolkit scaling by 2 (QT_SCALE_FACTOR),
// where the system's pixels and the toolkit's differ.

#include "borderhittest.h"
#include "devicerecord.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "ipset.h"
#include "lanscoutresources.h"
#include "mainwindow.h"

#include <QtTest>

#include <qt_windows.h>
#include <shellscalingapi.h>

Q_DECLARE_METATYPE(BorderHit)
Q_DECLARE_METATYPE(QMargins)

namespace {

// The toolkit reads its configuration, the DPI setting among it, while the application object
// is built: the resources must be there before, as they are in the program.
const bool resourcesRegistered = (initLanScoutResources(), true);

enum class Window
{
    Main,
    Dialog
};

// A point given in the window's own toolkit pixels; negative coordinates count from the
// right or bottom edge (-1 is the last pixel).
QPoint resolve(QPoint p, QSize size)
{
    return {p.x() < 0 ? size.width() + p.x() : p.x(), p.y() < 0 ? size.height() + p.y() : p.y()};
}

// That point on the screen, in the system's pixels.
POINT screenPoint(const QWidget &window, QPoint p)
{
    RECT frame;
    GetWindowRect(HWND(window.winId()), &frame);
    const qreal ratio = window.devicePixelRatioF();
    const QPoint local = resolve(p, window.size());
    return {frame.left + LONG(local.x() * ratio), frame.top + LONG(local.y() * ratio)};
}

QRect systemRect(const QWidget &window)
{
    RECT r;
    GetWindowRect(HWND(window.winId()), &r);
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

INPUT mouseInput(DWORD flags)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    return input;
}

} // namespace

Q_DECLARE_METATYPE(Window)

class tst_WindowsNative : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void hitTest_data();
    void hitTest();
    void pressOnTheBorder_data();
    void pressOnTheBorder();
    void dpiUnaware();

private:
    QWidget *window(Window which)
    {
        return which == Window::Main ? &m_main : static_cast<QWidget *>(m_dialog);
    }

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

void tst_WindowsNative::hitTest_data()
{
    QTest::addColumn<Window>("window");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("code");
    const int client = 1; // HTCLIENT: the toolkit's own answer, inside
    for (Window window : {Window::Main, Window::Dialog}) {
        const char *name = window == Window::Main ? "main window" : "dialog";
        auto row = [&](const char *where, QPoint point, int code) {
            QTest::addRow("%s, %s", name, where) << window << point << code;
        };
        row("top-left corner", QPoint(0, 0), int(BorderHit::TopLeft));
        row("top, next to the corner", QPoint(4, 0), int(BorderHit::Top));
        row("top-right corner", QPoint(-1, 3), int(BorderHit::TopRight));
        row("right, inner pixel", QPoint(-4, 200), int(BorderHit::Right));
        row("bottom", QPoint(200, -4), int(BorderHit::Bottom));
        row("bottom-right corner", QPoint(-1, -1), int(BorderHit::BottomRight));
        row("inside, past the bottom-right corner", QPoint(-5, -5), client);
    }
}

void tst_WindowsNative::hitTest()
{
    QFETCH(Window, window);
    QFETCH(QPoint, point);
    QFETCH(int, code);
    QWidget *w = this->window(window);
    const POINT p = screenPoint(*w, point);
    const LRESULT answer = SendMessageW(HWND(w->winId()), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    QCOMPARE(int(answer), code);
}

void tst_WindowsNative::pressOnTheBorder_data()
{
    QTest::addColumn<Window>("window");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QPoint>("drag");     // in the system's pixels
    QTest::addColumn<int>("cursor");      // the system's cursor over the point
    QTest::addColumn<QMargins>("growth"); // of the window's geometry, in toolkit pixels
    auto id = [](const void *cursor) { return int(reinterpret_cast<quintptr>(cursor)); };
    // The main window's size is fixed: it neither grows nor moves.
    QTest::newRow("main window, left edge, outwards")
        << Window::Main << QPoint(1, 300) << QPoint(-40, 5) << id(IDC_SIZEWE) << QMargins();
    QTest::newRow("main window, top edge, inwards")
        << Window::Main << QPoint(400, 0) << QPoint(10, 40) << id(IDC_SIZENS) << QMargins();
    QTest::newRow("main window, bottom-right corner")
        << Window::Main << QPoint(-2, -2) << QPoint(40, 40) << id(IDC_SIZENWSE) << QMargins();
    // The dialog's width may change from 520 to 528 (it starts at 520), its height not.
    QTest::newRow("dialog, right edge, inwards")
        << Window::Dialog << QPoint(-1, 100) << QPoint(-40, 0) << id(IDC_SIZEWE) << QMargins();
    QTest::newRow("dialog, bottom-left corner, outwards")
        << Window::Dialog << QPoint(0, -1) << QPoint(-40, 40) << id(IDC_SIZENESW) << QMargins(8, 0, 0, 0);
    QTest::newRow("dialog, bottom edge, outwards")
        << Window::Dialog << QPoint(200, -1) << QPoint(0, 40) << id(IDC_SIZENS) << QMargins();
}

// The border shows the system's resize cursors; pressing there and dragging sizes the window
// only as far as its size may change, and moves no edge that should stay.
void tst_WindowsNative::pressOnTheBorder()
{
    QFETCH(Window, window);
    QFETCH(QPoint, point);
    QFETCH(QPoint, drag);
    QFETCH(int, cursor);
    QFETCH(QMargins, growth);
    QWidget *w = this->window(window);
    const QRect before = w->geometry();
    const QRect systemBefore = systemRect(*w);
    const POINT p = screenPoint(*w, point);

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
        INPUT press = mouseInput(MOUSEEVENTF_LEFTDOWN);
        INPUT release = mouseInput(MOUSEEVENTF_LEFTUP);
        SendInput(1, &press, sizeof press);
        for (int step = 1; step <= 4; ++step) {
            QThread::msleep(100);
            INPUT move = mouseInput(MOUSEEVENTF_MOVE);
            move.mi.dx = drag.x() * step / 4 - drag.x() * (step - 1) / 4;
            move.mi.dy = drag.y() * step / 4 - drag.y() * (step - 1) / 4;
            SendInput(1, &move, sizeof move);
        }
        QThread::msleep(100);
        SendInput(1, &release, sizeof release);
    });
    hand->start();
    QTRY_VERIFY_WITH_TIMEOUT(hand->isFinished(), 5000);
    delete hand;
    QTest::qWait(200);
    QCOMPARE(w->geometry(), before + growth);
    QCOMPARE(systemRect(*w), systemBefore + growth * w->devicePixelRatioF());
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
