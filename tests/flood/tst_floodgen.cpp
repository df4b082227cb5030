// The flood generator: a flood test proves nothing if its datagrams are not what it claims.

#include "floodgen.h"
#include "protocol.h"

#include <QSet>
#include <QtTest>

Q_DECLARE_METATYPE(flood::Kind)

class tst_FloodGen : public QObject
{
    Q_OBJECT
private slots:
    void datagrams_data();
    void datagrams();
    void sameSeedSameFlood();
    void hostileDevicesAreDistinct();
};

void tst_FloodGen::datagrams_data()
{
    QTest::addColumn<flood::Kind>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("accepted"); // how many are discovery replies
    QTest::addColumn<int>("devices");  // distinct MACs among them
    QTest::newRow("malformed: not one is a reply") << flood::Kind::Malformed << 20000 << 0 << 0;
    QTest::newRow("devices: each a device of its own") << flood::Kind::Devices << 20000 << 20000 << 20000;
    // 8 devices and 5 kinds of junk, 13 to a round.
    QTest::newRow("hostile: the same devices again and again") << flood::Kind::Hostile << 130 << 80 << 8;
}

void tst_FloodGen::datagrams()
{
    QFETCH(flood::Kind, kind);
    QFETCH(int, count);
    QFETCH(int, accepted);
    QFETCH(int, devices);
    flood::Generator generator(kind, 7);
    int replies = 0, empty = 0, maxSize = 0;
    QSet<QString> macs;
    for (int i = 0; i < count; ++i) {
        const QByteArray d = generator.next();
        QVERIFY2(d.size() <= flood::MaxDatagram, qPrintable(QString::number(d.size())));
        maxSize = qMax(maxSize, d.size());
        empty += d.isEmpty();
        if (auto rec = protocol::parseDiscoveryReply(d)) {
            ++replies;
            macs.insert(rec->mac);
        }
    }
    QCOMPARE(replies, accepted);
    QCOMPARE(macs.size(), devices);
    if (kind == flood::Kind::Malformed)
        QVERIFY(empty > 0);
    if (kind == flood::Kind::Hostile)
        QCOMPARE(maxSize, flood::MaxDatagram);
}

void tst_FloodGen::sameSeedSameFlood()
{
    flood::Generator a(flood::Kind::Malformed, 3), b(flood::Kind::Malformed, 3), c(flood::Kind::Malformed, 4);
    bool differs = false;
    for (int i = 0; i < 100; ++i) {
        const QByteArray d = a.next();
        QCOMPARE(b.next(), d);
        differs = differs || c.next() != d;
    }
    QVERIFY(differs);
    // Devices of a later round are new ones.
    QVERIFY(flood::floodDevice(0).mac != flood::floodDevice(100000).mac);
    QCOMPARE(flood::floodDevice(0x0102030405).mac, QStringLiteral("0A:01:02:03:04:05"));
}

void tst_FloodGen::hostileDevicesAreDistinct()
{
    const QVector<DeviceRecord> devices = flood::hostileDevices();
    QSet<QString> macs;
    for (const DeviceRecord &d : devices)
        macs.insert(d.mac);
    QCOMPARE(macs.size(), devices.size());
    // The NUL ends the text: the fields after it are not read.
    QCOMPARE(devices.last().extra, QStringLiteral("tail"));
}

QTEST_APPLESS_MAIN(tst_FloodGen)
#include "tst_floodgen.moc"
