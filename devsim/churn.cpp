#include "churn.h"

#include <cmath>

namespace devsim {

namespace {

// Events of this kind in minute m: the whole ones of the rate's running total.
int countIn(double percent, int devices, int minute)
{
    const double perMinute = percent * devices / 100;
    return int(std::floor(perMinute * (minute + 1) + 1e-9) - std::floor(perMinute * minute + 1e-9));
}

} // namespace

ChurnSchedule::ChurnSchedule(const ChurnRates &rates, std::uint64_t seed, int devices)
    : m_rates(rates), m_state(seed), m_start(devices), m_total(devices)
{
    m_answering.reserve(devices);
    for (int i = 0; i < devices; ++i)
        m_answering.append(i);
}

std::uint64_t ChurnSchedule::draw(std::uint64_t below)
{
    std::uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return (z ^ (z >> 31)) % below;
}

int ChurnSchedule::take(QVector<int> &from)
{
    const int at = int(draw(std::uint64_t(from.size())));
    const int device = from[at];
    from[at] = from.last(); // order within the pool does not matter, only the draws
    from.removeLast();
    return device;
}

QVector<ChurnEvent> ChurnSchedule::nextMinute()
{
    const int m = m_minute++;
    QVector<ChurnEvent::Kind> kinds;
    const QPair<double, ChurnEvent::Kind> rates[] = {{m_rates.leave, ChurnEvent::Leave},
                                                     {m_rates.back, ChurnEvent::Back},
                                                     {m_rates.appear, ChurnEvent::Appear},
                                                     {m_rates.renumber, ChurnEvent::Renumber},
                                                     {m_rates.change, ChurnEvent::Change}};
    for (const auto &rate : rates)
        kinds.append(QVector<ChurnEvent::Kind>(countIn(rate.first, m_start, m), rate.second));
    // Mixed, so that leaving and coming back interleave over the minute.
    for (int i = kinds.size() - 1; i > 0; --i)
        std::swap(kinds[i], kinds[int(draw(std::uint64_t(i) + 1))]);

    QVector<ChurnEvent> events;
    for (int i = 0; i < kinds.size(); ++i) {
        ChurnEvent e{kinds[i], int(qint64(i) * 60000 / kinds.size()), -1, 0};
        switch (e.kind) {
        case ChurnEvent::Leave:
            if (m_answering.isEmpty())
                continue;
            e.device = take(m_answering);
            m_gone.append(e.device);
            break;
        case ChurnEvent::Back:
            if (m_gone.isEmpty())
                continue;
            e.device = take(m_gone);
            m_answering.append(e.device);
            break;
        case ChurnEvent::Appear:
            e.device = m_total++;
            m_answering.append(e.device);
            break;
        case ChurnEvent::Renumber:
        case ChurnEvent::Change:
            if (m_answering.isEmpty())
                continue;
            e.device = m_answering[int(draw(std::uint64_t(m_answering.size())))];
            e.serial = e.kind == ChurnEvent::Renumber ? m_renumbers++ : m_changes++;
            break;
        }
        events.append(e);
    }
    return events;
}

QVector<ChurnEvent> churnEvents(const ChurnRates &rates, std::uint64_t seed, int devices, int minute)
{
    ChurnSchedule schedule(rates, seed, devices);
    for (int m = 0; m < minute; ++m)
        schedule.nextMinute();
    return schedule.nextMinute();
}

} // namespace devsim
