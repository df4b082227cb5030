#include "benchstats.h"

#include <QList>

#include <algorithm>
#include <cmath>

namespace bench {

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least p percent of the sample at or below it.
    const double rank = std::ceil(p / 100.0 * double(values.size()));
    const size_t index = size_t(std::clamp(rank, 1.0, double(values.size()))) - 1;
    return values[index];
}

qint64 vmRssBytes(const QByteArray &statusText)
{
    const QList<QByteArray> lines = statusText.split('\n');
    for (const QByteArray &line : lines) {
        if (!line.startsWith("VmRSS:"))
            continue;
        const QList<QByteArray> words = line.mid(6).simplified().split(' ');
        bool ok = false;
        const qint64 value = words.value(0).toLongLong(&ok);
        if (!ok)
            return -1;
        const QByteArray unit = words.value(1).toLower();
        if (unit == "kb")
            return value * 1024;
        if (unit == "mb")
            return value * 1024 * 1024;
        return value;
    }
    return -1;
}

QHash<QByteArray, qint64> udpCounters(const QByteArray &snmpText)
{
    QHash<QByteArray, qint64> result;
    const QList<QByteArray> lines = snmpText.split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].startsWith("Udp: ") || !lines[i + 1].startsWith("Udp: "))
            continue;
        const QList<QByteArray> names = lines[i].simplified().split(' ');
        const QList<QByteArray> values = lines[i + 1].simplified().split(' ');
        if (names.size() != values.size())
            return {};
        for (int k = 1; k < names.size(); ++k) {
            bool ok = false;
            const qint64 v = values[k].toLongLong(&ok);
            if (ok)
                result.insert(names[k], v);
        }
        return result;
    }
    return result;
}

qint64 softnetDropped(const QByteArray &softnetText)
{
    qint64 total = -1;
    const QList<QByteArray> lines = softnetText.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> columns = line.simplified().split(' ');
        if (columns.size() < 2)
            continue;
        bool ok = false;
        const qint64 dropped = columns[1].toLongLong(&ok, 16);
        if (!ok)
            return -1;
        total = std::max<qint64>(total, 0) + dropped;
    }
    return total;
}

int simulatedDeviceOfMac(const QString &mac)
{
    if (mac.size() != 17 || !mac.startsWith(QLatin1String("02:00:00:")))
        return -1;
    QString digits = mac.mid(9);
    digits.remove(QLatin1Char(':'));
    bool ok = false;
    const int n = digits.toInt(&ok, 16);
    return ok && digits.size() == 6 && n > 0 ? n - 1 : -1;
}

void RoundMeter::add(quint32 round, qint64 ns)
{
    auto it = m_index.constFind(round);
    if (it == m_index.constEnd()) {
        m_index.insert(round, m_rounds.size());
        m_rounds.append({round, 1, ns, ns});
        return;
    }
    Round &r = m_rounds[it.value()];
    ++r.count;
    r.firstNs = std::min(r.firstNs, ns);
    r.lastNs = std::max(r.lastNs, ns);
}

double RoundMeter::medianIntakeRate(const QHash<quint32, qint64> &requestNs, int minCount) const
{
    std::vector<double> rates;
    for (int i = 1; i + 1 < m_rounds.size(); ++i) {
        const Round &r = m_rounds[i];
        const auto request = requestNs.constFind(r.round);
        if (r.count < std::max(1, minCount) || request == requestNs.constEnd() || *request > r.firstNs)
            continue;
        // The request time may come from another clock with millisecond steps: never below 1 ms.
        const qint64 span = std::max<qint64>(r.lastNs - *request, 1000000);
        rates.push_back(double(r.count) * 1e9 / double(span));
    }
    return percentile(rates, 50);
}

double RoundMeter::sustainedRate() const
{
    if (m_rounds.size() < 3)
        return 0;
    qint64 replies = 0;
    for (int i = 1; i + 1 < m_rounds.size(); ++i)
        replies += m_rounds[i].count;
    const qint64 span = m_rounds.last().firstNs - m_rounds[1].firstNs;
    return span > 0 ? double(replies) * 1e9 / double(span) : 0;
}

qint64 longestGap(const QVector<qint64> &stamps, qint64 from, qint64 to)
{
    qint64 previous = from;
    qint64 longest = 0;
    for (const qint64 t : stamps) {
        if (t <= from) {
            previous = t;
            continue;
        }
        if (t > to)
            break;
        longest = std::max(longest, t - previous);
        previous = t;
    }
    return std::max(longest, to - previous);
}

QHash<QString, QString> parseFields(const QString &line)
{
    QHash<QString, QString> fields;
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        const int eq = word.indexOf(QLatin1Char('='));
        if (eq > 0)
            fields.insert(word.left(eq), word.mid(eq + 1));
    }
    return fields;
}

} // namespace bench
