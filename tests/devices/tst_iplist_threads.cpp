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

namespace {

// A plain std::thread rather than QThread: its start and join are visible to
// ThreadSanitizer, which can't see inside the toolkit's own synchronisation.
class Worker
{
public:
    Worker(IpList &list, int rounds) : m_list(list), m_rounds(rounds) {}
    ~Worker()
    {
        if (m_thread.joinable())
            m_thread.join(); // the rounds are bounded: it ends
    }
    std::atomic<bool> done{false};

    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    void join() { m_thread.join(); }

private:
    void run()
    {
        quint32 count = 0;
        for (int round = 0; round < m_rounds; ++round) {
            ++count;
            m_list.ageDevices(count);
            // A shifting population: each device answers in a window of rounds, so rows
            // keep appearing, changing address and ageing out, in runs and alone.
            for (int d = 0; d < 3000; ++d) {
                const int phase = (d * 13) % 50;
                if ((round + phase) % 50 > 30)
                    continue;
                DeviceRecord r;
                r.version = QStringLiteral("v%1").arg(d % 3);
                r.mac = QStringLiteral("02:00:%1").arg(d);
                r.ipaddr = QStringLiteral("10.%1.%2.%3").arg(d / 256).arg(d % 256).arg(round / 7);
                r.ipways = (round % 2) ? QStringLiteral("dhcp") : QStringLiteral("static");
                r.cnt = count;
                m_list.mergeDevice(r);
            }
        }
        done = true;
    }

    IpList &m_list;
    int m_rounds;
    std::thread m_thread;
};

} // namespace

void tst_IpListThreads::rowsAlwaysMatchTheTable()
{
    IpItemMode model;
    IpList list(model);
    Worker worker(list, 200);

    qint64 checks = 0;
    int mismatches = 0;
    QString firstMismatch;
    // step 1 reads every row; inside the model's signals a sample keeps the test fast.
    auto check = [&](int step) {
        for (int row = 0; row < model.rowCount(); row += step) {
            DeviceRecord rec;
            ++checks;
            const bool found = list.getDevice(row, rec);
            if (!found || model.index(row, 0).data().toString() != rec.version ||
                model.index(row, 1).data().toString() != rec.ipaddr ||
                model.index(row, 2).data().toString() != rec.mac) {
                if (!mismatches++)
                    firstMismatch = QStringLiteral("row %1: table %2/%3, list %4/%5")
                                        .arg(row)
                                        .arg(model.index(row, 2).data().toString(),
                                             model.index(row, 1).data().toString(), rec.mac, rec.ipaddr);
            }
        }
        QCOMPARE(list.count(), model.rowCount());
    };
    auto sample = [&] { check(97); };
    QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeInserted, this, sample);
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, this, sample);
    QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, this, sample);
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, this, sample);
    QObject::connect(&model, &QAbstractItemModel::modelReset, this, sample);

    worker.start();
    QElapsedTimer clock;
    clock.start();
    while (!worker.done && clock.elapsed() < 60000) {
        QCoreApplication::processEvents();
        check(1);
    }
    QVERIFY2(worker.done, "worker did not finish in time");
    worker.join();
    // The GUI thread applies queued changes in slices: take the rest now.
    list.applyPendingChanges();
    check(1);
    qInfo("%lld row checks", checks);
    QVERIFY2(mismatches == 0, qPrintable(firstMismatch));
    QCOMPARE(model.rowCount(), list.workerCount());
    QVERIFY(model.rowCount() > 1000);
}

QTEST_GUILESS_MAIN(tst_IpListThreads)
#include "tst_iplist_threads.moc"
