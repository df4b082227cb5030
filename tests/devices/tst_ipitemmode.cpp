#include "ipitemmode.h"

#include <QAbstractItemModelTester>
#include <QtTest>

class tst_IpItemMode : public QObject
{
    Q_OBJECT
private slots:
    void headers_data();
    void headers();
    void rowOperationsIgnoreMissingRows_data();
    void rowOperationsIgnoreMissingRows();
    void removeKeepsOrder();
    void largeBlocksKeepTheRowsBelow();
};

namespace {
QStringList headerTexts(const QAbstractItemModel &m)
{
    return {m.headerData(0, Qt::Horizontal).toString(), m.headerData(1, Qt::Horizontal).toString(),
            m.headerData(2, Qt::Horizontal).toString()};
}
} // namespace

void tst_IpItemMode::headers_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("0 Chinese, untranslated")
        << 0 << QStringList{QStringLiteral("版本号"), QStringLiteral("IP"), QStringLiteral("Mac")};
    QTest::newRow("1 English, trailing blanks")
        << 1 << QStringList{QStringLiteral("Version "), QStringLiteral("IP "), QStringLiteral("Mac ")};
    QTest::newRow("2 Russian, trailing blanks")
        << 2
        << QStringList{QStringLiteral("Версия ПО "), QStringLiteral("IP адрес "),
                       QStringLiteral("MAC адрес ")};
    QTest::newRow("3 leaves the headers")
        << 3 << QStringList{QStringLiteral("Version "), QStringLiteral("IP "), QStringLiteral("Mac ")};
    QTest::newRow("-1 leaves the headers")
        << -1 << QStringList{QStringLiteral("Version "), QStringLiteral("IP "), QStringLiteral("Mac ")};
}

void tst_IpItemMode::headers()
{
    QFETCH(int, id);
    QFETCH(QStringList, texts);
    IpItemMode model;
    QCOMPARE(headerTexts(model),
             (QStringList{QStringLiteral("版本号"), QStringLiteral("IP"), QStringLiteral("Mac")}));
    model.setHeaderLanguage(1);
    model.setHeaderLanguage(id);
    QCOMPARE(headerTexts(model), texts);
    QCOMPARE(model.columnCount(), 3);
}

void tst_IpItemMode::rowOperationsIgnoreMissingRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("exists");
    QTest::newRow("first") << 0 << true;
    QTest::newRow("last") << 1 << true;
    QTest::newRow("rowCount") << 2 << false;
    QTest::newRow("negative") << -1 << false;
}

void tst_IpItemMode::rowOperationsIgnoreMissingRows()
{
    QFETCH(int, row);
    QFETCH(bool, exists);
    IpItemMode model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.appendDeviceRow(QStringLiteral("v0"), QStringLiteral("ip0"), QStringLiteral("m0"));
    model.appendDeviceRow(QString(), QString(), QString());
    QCOMPARE(model.index(1, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.updateDeviceRow(row, QStringLiteral("new"));
    QCOMPARE(resets.count(), exists ? 1 : 0);
    if (exists) {
        QCOMPARE(model.index(row, 1).data().toString(), QStringLiteral("new"));
        QCOMPARE(model.index(row, 0).data().toString(), row == 0 ? QStringLiteral("v0") : QString());
    }
    model.removeDeviceRow(row);
    QCOMPARE(model.rowCount(), exists ? 1 : 2);
}

void tst_IpItemMode::removeKeepsOrder()
{
    IpItemMode model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int i = 0; i < 5; ++i)
        model.appendDeviceRow(QStringLiteral("v%1").arg(i), QString(), QString());
    model.removeDeviceRow(0);
    model.removeDeviceRows(1, 2); // v2, v3
    model.removeDeviceRows(1, 5); // past the end: ignored
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("v1"));
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("v4"));
}

void tst_IpItemMode::largeBlocksKeepTheRowsBelow()
{
    // Forged devices ageing out: tens of thousands of rows leave at once, again and again.
    IpItemMode model;
    for (int i = 0; i < 60003; ++i) {
        DeviceRecord rec;
        rec.version = QStringLiteral("v%1").arg(i);
        rec.mac = QStringLiteral("m%1").arg(i);
        model.appendDevice(rec);
    }
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.removeDeviceRows(3, 20000);
    model.removeDeviceRows(3, 20000); // each item's position hint is stale by now
    QCOMPARE(resets.count(), 2);
    QCOMPARE(model.rowCount(), 20003);
    DeviceRecord rec;
    for (int row : {0, 2, 3, 20002}) {
        const int i = row < 3 ? row : row + 40000;
        QVERIFY(model.deviceAt(row, rec));
        QCOMPARE(rec.mac, QStringLiteral("m%1").arg(i));
        QCOMPARE(model.index(row, 0).data().toString(), QStringLiteral("v%1").arg(i));
        QCOMPARE(model.index(row, 2).data().toString(), QStringLiteral("m%1").arg(i));
    }
}

QTEST_GUILESS_MAIN(tst_IpItemMode)
#include "tst_ipitemmode.moc"
