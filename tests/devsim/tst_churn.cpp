#include "churn.h"

#include <QtTest>

#include <array>

using namespace devsim;
using Counts = std::array<int, 5>; // leave, back, appear, renumber, change
Q_DECLARE_METATYPE(ChurnRates)
Q_DECLARE_METATYPE(Counts)

class tst_Churn : public QObject
{
    Q_OBJECT
private slots:
    void schedule_data();
    void schedule();
};

void tst_Churn::schedule_data()
{
    QTest::addColumn<ChurnRates>("rates");
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("minute");
    QTest::addColumn<Counts>("counts");
    const ChurnRates soak{5, 2.5, 2.5, 1, 1};
    // In the first minute only those that left before can come back.
    QTest::newRow("soak rates, minute 0") << soak << 10000 << 0 << Counts{500, 248, 250, 100, 100};
    QTest::newRow("soak rates, minute 30") << soak << 10000 << 30 << Counts{500, 250, 250, 100, 100};
    QTest::newRow("1.5 a minute: 1, then 2")
        << ChurnRates{1.5, 0, 0, 0, 0} << 100 << 0 << Counts{1, 0, 0, 0, 0};
    QTest::newRow("1.5 a minute: minute 1 carries")
        << ChurnRates{1.5, 0, 0, 0, 0} << 100 << 1 << Counts{2, 0, 0, 0, 0};
    QTest::newRow("everyone leaves at once, no one left to leave")
        << ChurnRates{100, 0, 0, 0, 0} << 20 << 1 << Counts{0, 0, 0, 0, 0};
    QTest::newRow("no churn") << ChurnRates{} << 1000 << 3 << Counts{0, 0, 0, 0, 0};
}

// The counts, the same events for the same seed (others for another), and events that fit the
// devices' states: only answering devices leave, change or are renumbered, only gone ones come
// back, new ones are numbered next; spread over the minute in order.
void tst_Churn::schedule()
{
    QFETCH(ChurnRates, rates);
    QFETCH(int, devices);
    QFETCH(int, minute);
    QFETCH(Counts, counts);
    const QVector<ChurnEvent> events = churnEvents(rates, 7, devices, minute);
    QCOMPARE(churnEvents(rates, 7, devices, minute), events);
    if (!events.isEmpty())
        QVERIFY(churnEvents(rates, 8, devices, minute) != events);

    QVector<bool> answering(devices, true);
    ChurnSchedule schedule(rates, 7, devices);
    for (int m = 0; m <= minute; ++m) {
        const QVector<ChurnEvent> got = schedule.nextMinute();
        Counts n{};
        int lastMs = 0;
        for (const ChurnEvent &e : got) {
            QVERIFY(e.atMs >= lastMs && e.atMs < 60000);
            lastMs = e.atMs;
            ++n[e.kind];
            if (e.kind == ChurnEvent::Appear) {
                QCOMPARE(e.device, answering.size());
                answering.append(true);
                continue;
            }
            QCOMPARE(answering.value(e.device, e.kind != ChurnEvent::Back), e.kind != ChurnEvent::Back);
            if (e.kind == ChurnEvent::Leave || e.kind == ChurnEvent::Back)
                answering[e.device] = e.kind == ChurnEvent::Back;
        }
        if (m == minute) {
            QCOMPARE(got, events);
            QCOMPARE(n, counts);
        }
    }
}

QTEST_GUILESS_MAIN(tst_Churn)
#include "tst_churn.moc"
