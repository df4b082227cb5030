#include "ipitemmode.h"
#include "iplist.h"

#include <QtTest>

#include <atomic>
#include <thread>

// The worker merges and ages thousands of devices while the GUI thread keeps reading rows:
// every row the table shows must be the very device getDevice returns for it.
class tst_IpListThreads : public QObject
{
    Q_OBJECT
private slots:
    void rowsAlwaysMatchTheTable();
};

void tst_IpListThreads::rowsAlwaysMatchTheTable()
{
    IpItemMode model;
    IpList list(model);
    std::atomic<bool> done{false};

    // A plain std::thread rather than QThread: its start and join are visible to ThreadSanitizer.
    // Each device answers in a window of rounds, so rows keep appearing, moving address and
    // ageing out, in runs and alone.
    std::thread worker([&] {
        for (quint32 count = 1; count <= 200; ++count) {
            list.ageDevices(count);
            for (int d = 0; d < 3000; ++d) {
                if ((int(count) + (d * 13) % 50) % 50 > 30)
                    continue;
                DeviceRecord r;
                r.version = QStringLiteral("v%1").arg(d % 3);
                r.mac = QStringLiteral("02:00:%1").arg(d);
                r.ipaddr = QStringLiteral("10.%1.%2.%3").arg(d / 256).arg(d % 256).arg(count / 7);
                r.ipways = (count % 2) ? QStringLiteral("dhcp") : QStringLiteral("static");
                r.cnt = count;
                list.mergeDevice(r);
            }
        }
        done = true;
    });

    QString firstMismatch;
    // step 1 reads every row; inside the model's signals a sample keeps the test fast.
    auto check = [&](int step) {
        // No strings built per row: under the sanitizers every allocation is slow, and the
        // worker would wait on the allocator.
        for (int row = 0; row < model.rowCount() && firstMismatch.isEmpty(); row += step) {
            DeviceRecord rec;
            if (!list.getDevice(row, rec) || model.index(row, 0).data().toString() != rec.version ||
                model.index(row, 1).data().toString() != rec.ipaddr ||
                model.index(row, 2).data().toString() != rec.mac)
                firstMismatch = QStringLiteral("row %1: table %2, list %3/%4")
                                    .arg(row)
                                    .arg(model.index(row, 2).data().toString(), rec.mac, rec.ipaddr);
        }
    };
    auto sample = [&] { check(97); };
    for (auto signal : {&QAbstractItemModel::rowsAboutToBeInserted, &QAbstractItemModel::rowsInserted,
                        &QAbstractItemModel::rowsAboutToBeRemoved, &QAbstractItemModel::rowsRemoved})
        connect(&model, signal, this, sample);
    connect(&model, &QAbstractItemModel::modelReset, this, sample);

    const QDeadlineTimer minute(60000);
    while (!done && !minute.hasExpired()) {
        QCoreApplication::processEvents();
        check(1);
    }
    const bool finished = done;
    worker.join(); // the rounds are bounded: it ends
    QVERIFY2(finished, "the worker did not finish its rounds within a minute");
    // The GUI thread applies queued changes in slices: take the rest now.
    list.applyPendingChanges();
    check(1);
    QVERIFY2(firstMismatch.isEmpty(), qPrintable(firstMismatch));
    QCOMPARE(model.rowCount(), list.workerCount());
    QVERIFY(model.rowCount() > 1000);
}

QTEST_GUILESS_MAIN(tst_IpListThreads)
#include "tst_iplist_threads.moc"
