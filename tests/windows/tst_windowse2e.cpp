// lanScout.exe under Wine in the test bed, against the Linux simulator on the other side of the
// veth pair: the devices are listed, and the settings dialog, driven by the system's own mouse
// and keyboard input as a user drives it, puts the exact set-IP bytes on the wire. Where to
// click comes from a copy of the window and of the dialog built in this process, which runs
// the same start-up code with the same fonts, so every widget sits where it sits in the program.

#include "devicerecord.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "ipset.h"
#include "lanscoutresources.h"
#include "mainwindow.h"
#include "protocol.h"
#include "startup.h"
#include "testnetwork.h"
#include "windowsrun.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <qt_windows.h>

namespace {

// The start-up reads the toolkit's configuration (the DPI setting) while the application
// object is built, as the program does.
const bool resourcesRegistered = (initLanScoutResources(), true);

// The simulator's event lines (devsim/README.md): the devices' replies and every datagram it
// received. Wine starts Linux programs, but gives them no pipe to this process: the lines go
// to a file in /tmp, read as they come.
struct Simulator
{
    QTemporaryDir dir{QStringLiteral("Z:/tmp/lanscout-e2e-XXXXXX")};
    QFile events;
    QTimer poll;
    QVector<DeviceRecord> devices;
    QVector<QByteArray> received;
    bool ready = false;
    QByteArray partial; // the start of a line not yet complete

    void start() // two devices, for as long as the test runs
    {
        events.setFileName(dir.filePath(QStringLiteral("events.txt")));
        const QString linuxPath = events.fileName().mid(2); // Wine's drive Z: is the Linux root
        // Detached: this process cannot end a Linux one, and would wait for it in vain. The
        // simulator's lifetime and the test bed end it.
        QProcess::startDetached(
            QStringLiteral("Z:/bin/sh"),
            {QStringLiteral("-c"),
             QStringLiteral("exec $0 netns exec $1 $2 --no-stdin --lifetime 110 --devices 2 >$3 2>&1"),
             QStringLiteral(LANSCOUT_IP_TOOL), testnet::lanNamespace(), QStringLiteral(LANSCOUT_DEVSIM_PATH),
             linuxPath});
        QObject::connect(&poll, &QTimer::timeout, [this] { read(); });
        poll.start(50);
    }

    void read()
    {
        if (!events.isOpen() && !events.open(QIODevice::ReadOnly))
            return;
        partial += events.readAll();
        for (int end; (end = partial.indexOf('\n')) >= 0; partial.remove(0, end + 1)) {
            const QList<QByteArray> words = partial.left(end).trimmed().split(' ');
            if (words.value(0) == "ready") {
                ready = true;
            } else if (words.size() == 4 && words[0] == "device") {
                const int index = words[2].toInt();
                devices.resize(std::max(int(devices.size()), index + 1));
                if (auto rec = protocol::parseDiscoveryReply(QByteArray::fromHex(words[3])))
                    devices[index] = *rec;
            } else if (words.size() == 5 && words[0] == "rx") {
                received << QByteArray::fromHex(words[4]);
            }
        }
    }
};

// The MAC addresses of the program's last complete device list dump, in row order.
QStringList listedMacs(const QByteArray &trace)
{
    const QList<QByteArray> lines = trace.split('\n');
    QStringList macs, current;
    bool inDump = false;
    for (QByteArray line : lines) {
        line = line.trimmed(); // the program's lines end in CR LF
        if (line.startsWith("printIpList")) {
            inDump = true;
            current.clear();
        } else if (inDump && line.startsWith("mac:  \"")) {
            current << QString::fromLatin1(line.mid(7, line.size() - 8));
        } else if (inDump && line.startsWith("lanScout.udp: rx:")) {
            macs = current; // the reply's own trace line ends its dump
            inDump = false;
        }
    }
    return macs;
}

// The program's visible top-level window whose title is the given text.
HWND programWindow(qint64 process, const QString &title)
{
    const std::wstring text = title.toStdWString();
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, nullptr, text.c_str()));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == DWORD(process) && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

void sendInput(INPUT input)
{
    SendInput(1, &input, sizeof input);
    QTest::qWait(30);
}

// A left click at a point of a window of the program, given in the copy's coordinates.
void click(HWND window, QPoint at)
{
    RECT frame;
    GetWindowRect(window, &frame);
    SetCursorPos(frame.left + at.x(), frame.top + at.y());
    QTest::qWait(50);
    sendInput(windowsrun::mouseInput(MOUSEEVENTF_LEFTDOWN));
    sendInput(windowsrun::mouseInput(MOUSEEVENTF_LEFTUP));
    QTest::qWait(100);
}

// Selects what the focused field holds (Ctrl+A) and types the text over it (digits only).
void typeOver(const QString &digits)
{
    auto key = [](WORD virtualKey, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki = {virtualKey, 0, flags, 0, 0};
        sendInput(input);
    };
    key(VK_CONTROL, 0);
    key('A', 0);
    key('A', KEYEVENTF_KEYUP);
    key(VK_CONTROL, KEYEVENTF_KEYUP);
    for (QChar c : digits) {
        key(c.unicode(), 0);
        key(c.unicode(), KEYEVENTF_KEYUP);
    }
}

QPoint centreIn(const QWidget *widget, const QWidget *window)
{
    return widget->mapTo(window, widget->rect().center());
}

} // namespace

class tst_WindowsE2e : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void staticAddressThroughTheDialog();
    void commandLineSetIp();

private:
    Simulator m_sim;
    QProcess m_app;
    QTemporaryDir m_dir;
};

// The simulator, a Linux program, in the LAN namespace, for both tests.
void tst_WindowsE2e::initTestCase()
{
    LANSCOUT_REQUIRE_TEST_NETWORK();
    QVERIFY(resourcesRegistered);
    QVERIFY(m_dir.isValid());
    m_sim.start();
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.ready, 10000);
    QCOMPARE(m_sim.devices.size(), 2);
}

void tst_WindowsE2e::cleanup()
{
    if (m_app.state() != QProcess::NotRunning) {
        m_app.kill();
        m_app.waitForFinished(5000);
    }
}

void tst_WindowsE2e::staticAddressThroughTheDialog()
{
    // The program, its trace into a file.
    const QString tracePath = m_dir.filePath(QStringLiteral("trace.txt"));
    m_app.setStandardErrorFile(tracePath);
    m_app.start(windowsrun::Program, QStringList());
    QVERIFY(m_app.waitForStarted(10000));
    auto trace = [tracePath] {
        QFile file(tracePath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTRY_COMPARE_WITH_TIMEOUT(listedMacs(trace()).size(), 2, 20000);
    const QStringList rows = listedMacs(trace());
    const DeviceRecord device = m_sim.devices[0];
    const int row = rows.indexOf(device.mac);
    QVERIFY2(row >= 0 && rows.contains(m_sim.devices[1].mac), qPrintable(rows.join(QLatin1Char(' '))));

    HWND window = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((window = programWindow(m_app.processId(), QStringLiteral("IP Search Tool"))),
                             10000);
    SetForegroundWindow(window);

    // The copy of the window, with the same rows, laid out but not shown on screen.
    IpItemMode model;
    IpList list(model);
    prepareStart(model);
    for (const QString &mac : rows)
        list.mergeDevice(m_sim.devices[mac == m_sim.devices[0].mac ? 0 : 1]);
    list.applyPendingChanges();
    mainWindow copy(list, model);
    copy.setAttribute(Qt::WA_DontShowOnScreen);
    copy.show();
    auto *table = copy.findChild<QTableView *>(QStringLiteral("tvwIplist"));
    QVERIFY(table && model.rowCount() == 2);
    const QPoint rowPoint = table->viewport()->mapTo(&copy, table->visualRect(model.index(row, 1)).center());
    const QPoint settingsButton = centreIn(copy.findChild<QPushButton *>(QStringLiteral("pbtNetSet")), &copy);

    // The user picks the device and opens the settings dialog.
    click(window, rowPoint);
    click(window, settingsButton);
    HWND dialog = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((dialog = programWindow(m_app.processId(), QStringLiteral("IP set"))), 10000);

    SetIpRequest shown;
    IpList::copyDevice(device, shown);
    auto *dialogCopy = new IpSet(&shown);
    dialogCopy->setAttribute(Qt::WA_DontShowOnScreen);
    dialogCopy->show();
    QWidget *ipEditor = dialogCopy->findChild<QWidget *>(QStringLiteral("gboxStaticIPSet"))
                            ->findChildren<QWidget *>(QStringLiteral("MyIpInput"))
                            .value(0);
    QVERIFY(ipEditor);

    // Static addressing, a new address typed over the old one field by field, confirmed.
    click(dialog,
          centreIn(dialogCopy->findChild<QRadioButton *>(QStringLiteral("rbtnStaticIp")), dialogCopy));
    const QStringList octets = QStringLiteral("198.18.0.77").split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i) {
        click(dialog,
              centreIn(ipEditor->findChild<QLineEdit *>(QStringLiteral("leIp%1").arg(i + 1)), dialogCopy));
        typeOver(octets[i]);
    }
    const QPoint setButton =
        centreIn(dialogCopy->findChild<QPushButton *>(QStringLiteral("pbtnSet")), dialogCopy);
    dialogCopy->close();
    click(dialog, setButton);
    QTRY_VERIFY_WITH_TIMEOUT(!IsWindow(dialog) || !IsWindowVisible(dialog), 5000);

    SetIpRequest expected = shown;
    expected.ipways = QStringLiteral("static");
    expected.ipaddr = QStringLiteral("198.18.0.77");
    const QByteArray command = protocol::setIpCommand(expected);
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.received.count(command), 1, 5000);
    // The device answers with its new address, and the program lists it so.
    QTRY_VERIFY_WITH_TIMEOUT(trace().contains("/static/198.18.0.77/"), 5000);
    QCOMPARE(m_sim.received.count(command), 1);
    QCOMPARE(m_sim.received.size(), m_sim.received.count(QByteArray("@qxsrhip/all!")) + 1);

    // Closed as by the system (log-off, the task bar), the program ends cleanly.
    PostMessageW(window, WM_CLOSE, 0, 0);
    QVERIFY(m_app.waitForFinished(10000));
    QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_app.exitCode(), 0);
}

// lanscout-cli.exe against the same devices: its checks (the address-conflict check included,
// whatever the system's ARP can do), journal and verification end in the exact bytes on the wire.
void tst_WindowsE2e::commandLineSetIp()
{
    SetIpRequest expected;
    IpList::copyDevice(m_sim.devices[1], expected);
    expected.ipaddr = QStringLiteral("198.18.0.78");
    expected.dns1 = expected.dns2 = QString();
    const windowsrun::Finished cli = windowsrun::piped(
        windowsrun::Cli,
        {QStringLiteral("set-ip"), QStringLiteral("--wait"), QStringLiteral("1.5"), QStringLiteral("--mac"),
         expected.mac, QStringLiteral("--static"), expected.ipaddr, QStringLiteral("--mask"), expected.mask,
         QStringLiteral("--gateway"), expected.gateway, QStringLiteral("--journal"),
         m_dir.filePath(QStringLiteral("journal.jsonl"))});
    QVERIFY2(cli.exitCode == 0, qPrintable(cli.text));
    QTRY_COMPARE_WITH_TIMEOUT(m_sim.received.count(protocol::setIpCommand(expected)), 1, 3000);
}

QTEST_MAIN(tst_WindowsE2e)
#include "tst_windowse2e.moc"
