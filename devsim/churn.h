#pragma once

#include <QVector>

#include <cstdint>

// Churn among the simulated devices: devices that leave (stop answering), come back, are
// renumbered or change another field, and new devices that appear, at given rates, from a seed.
// Pure: the events of any minute follow from the seed, the rates and the device count alone.
namespace devsim {

// Each in per cent of the starting device count, per minute.
struct ChurnRates
{
    double leave = 0, back = 0, appear = 0, renumber = 0, change = 0;
    bool any() const { return leave > 0 || back > 0 || appear > 0 || renumber > 0 || change > 0; }
};

struct ChurnEvent
{
    enum Kind
    {
        Leave,    // stops answering
        Back,     // one that left answers again
        Appear,   // a new device, numbered after every device so far
        Renumber, // a new address
        Change,   // another field: the ninth on even serials, the gateway on odd ones
    } kind;
    int atMs;   // from the start of its minute
    int device; // numbered as the simulator numbers them
    int serial; // Renumber and Change: how many of that kind came before, in the whole run
    friend bool operator==(const ChurnEvent &a, const ChurnEvent &b)
    {
        return a.kind == b.kind && a.atMs == b.atMs && a.device == b.device && a.serial == b.serial;
    }
};

// The events in the order they happen, spread evenly over each minute. A minute's counts are the
// rates' shares of the devices, their fractions carried into the next minutes. Who leaves, is
// renumbered or changes is drawn from the devices answering at that moment, who comes back from
// those that left; a kind with no one to draw from is skipped.
class ChurnSchedule
{
public:
    ChurnSchedule(const ChurnRates &rates, std::uint64_t seed, int devices);
    // The events of minute m; minutes are taken in order, 0 first.
    QVector<ChurnEvent> nextMinute();
    int devices() const { return m_total; } // every device so far, new ones included

private:
    std::uint64_t draw(std::uint64_t below); // splitmix64: the same on every platform
    int take(QVector<int> &from);            // a random member, removed

    ChurnRates m_rates;
    std::uint64_t m_state;
    int m_start, m_total, m_minute = 0;
    int m_renumbers = 0, m_changes = 0;
    QVector<int> m_answering, m_gone;
};

// The events of minute m of a run (replays the minutes before it).
QVector<ChurnEvent> churnEvents(const ChurnRates &rates, std::uint64_t seed, int devices, int minute);

} // namespace devsim
