#include "benchstats.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

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

std::vector<double> intakeRates(const Rounds &rounds, const QHash<quint32, qint64> &requestNs, qint64 fromNs,
                                qint64 toNs, int minReplies)
{
    std::vector<double> rates;
    for (auto it = rounds.cbegin(); it != rounds.cend(); ++it) {
        const auto request = requestNs.constFind(it.key());
        if (request == requestNs.cend() || *request < fromNs || *request > toNs ||
            it->replies < std::max(1, minReplies))
            continue;
        const qint64 span = std::max<qint64>(it->lastNs - *request, 1000000);
        rates.push_back(double(it->replies) * 1e9 / double(span));
    }
    return rates;
}

double sustainedRate(const Rounds &rounds, const QHash<quint32, qint64> &requestNs, qint64 fromNs,
                     qint64 toNs)
{
    qint64 replies = 0, firstNs = 0, endNs = 0;
    for (auto it = rounds.cbegin(); it != rounds.cend(); ++it) {
        const qint64 request = requestNs.value(it.key(), -1);
        const qint64 next = requestNs.value(it.key() + 1, -1);
        if (request < fromNs || request > toNs || next < 0 || next > toNs)
            continue; // not a whole round of the window
        firstNs = firstNs ? std::min(firstNs, request) : request;
        endNs = std::max(endNs, next);
        replies += it->replies;
    }
    return endNs > firstNs ? double(replies) * 1e9 / double(endNs - firstNs) : 0;
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

WatchCheck checkWatch(const QVector<TruthEvent> &truth, const QVector<WatchEvent> &watch, qint64 endMs)
{
    struct Expect
    {
        QString mac, event, field;
        qint64 from, to;
        bool certain;
        bool matched = false;
    };
    constexpr qint64 SeenMs = 3000, RemovedMs = 7000, StartMs = 10000, SureAbsentMs = 4500,
                     NoRemovalMs = 1800, BriefMs = 1500;
    QVector<Expect> expects;
    QHash<QString, qint64> came;   // mac -> when it last appeared or came back
    QHash<QString, qint64> left;   // mac -> when it last left, for those whose leaving is on record
    QHash<QString, bool> wasBrief; // mac -> its last coming was brief
    // Each leave's return: how long the device stays away decides what is expected.
    QVector<qint64> backOf(truth.size(), -1); // -1: never
    // Each coming's or change's leave: a device that answers for less than a request's interval
    // (and its reply spread) may never be heard, so neither its coming nor its going is then sure
    // to be told, nor a change it left before its next reply.
    QVector<bool> brief(truth.size(), false);
    QHash<QString, qint64> laterBack, laterLeave;
    for (int i = truth.size() - 1; i >= 0; --i) {
        const TruthEvent &t = truth[i];
        brief[i] = laterLeave.contains(t.mac) && laterLeave.value(t.mac) - t.ms < BriefMs;
        if (t.kind == TruthEvent::Back) {
            laterBack.insert(t.mac, t.ms);
        } else if (t.kind == TruthEvent::Leave) {
            if (laterBack.contains(t.mac))
                backOf[i] = laterBack.take(t.mac);
            laterLeave.insert(t.mac, t.ms);
        }
    }
    const auto expect = [&](const QString &mac, const char *event, const QString &field, qint64 from,
                            qint64 within, bool certain) {
        expects.append(
            {mac, QLatin1String(event), field, from, from + within, certain && from + within <= endMs});
    };
    for (int i = 0; i < truth.size(); ++i) {
        const TruthEvent &t = truth[i];
        switch (t.kind) {
        case TruthEvent::Leave: {
            left.insert(t.mac, t.ms);
            const bool heard = !wasBrief.take(t.mac);
            const qint64 back = backOf[i];
            const qint64 away = back < 0 ? std::numeric_limits<qint64>::max() : back - t.ms;
            if (away >= NoRemovalMs)
                expect(t.mac, "removed", {}, t.ms, RemovedMs, heard && away >= SureAbsentMs);
            break;
        }
        case TruthEvent::Back:
            // Gone before the record began: its coming back may or may not be news.
            if (!left.contains(t.mac)) {
                expect(t.mac, "added", {}, t.ms, SeenMs, false);
            } else if (const qint64 away = t.ms - left.value(t.mac); away >= NoRemovalMs) {
                expect(t.mac, "added", {}, t.ms, SeenMs, away >= SureAbsentMs && !brief[i]);
            }
            came.insert(t.mac, t.ms);
            wasBrief.insert(t.mac, brief[i]);
            break;
        case TruthEvent::Appear:
            came.insert(t.mac, t.ms);
            wasBrief.insert(t.mac, brief[i]);
            expect(t.mac, "added", {}, t.ms, t.field == QLatin1String("start") ? StartMs : SeenMs, !brief[i]);
            break;
        case TruthEvent::Renumber:
        case TruthEvent::Change: {
            const bool justCame = came.contains(t.mac) && t.ms - came.value(t.mac) < SeenMs;
            expect(t.mac, "changed", t.kind == TruthEvent::Renumber ? QStringLiteral("ipaddr") : t.field,
                   t.ms, SeenMs, !justCame && !brief[i]);
            break;
        }
        }
    }
    QHash<QString, QVector<int>> byMac;
    for (int i = 0; i < expects.size(); ++i)
        byMac[expects[i].mac].append(i);
    WatchCheck check;
    for (const WatchEvent &w : watch) {
        bool explained = false;
        for (const int i : byMac.value(w.mac)) {
            Expect &e = expects[i];
            if (e.matched || e.event != w.event || w.ms < e.from || w.ms > e.to ||
                (w.event == QLatin1String("changed") && !w.fields.contains(e.field)))
                continue;
            e.matched = explained = true;
            if (w.event != QLatin1String("changed"))
                break; // one line, one coming or going
        }
        check.invented += !explained;
    }
    static const char *const kinds[] = {"leave", "back", "appear", "renumber", "change"};
    for (const Expect &e : qAsConst(expects)) {
        check.expected += e.certain;
        check.reported += e.certain && e.matched;
        check.missed += e.certain && !e.matched;
        if (!e.certain || e.matched)
            continue;
        QStringList around;
        for (const TruthEvent &t : truth) {
            if (t.mac == e.mac && std::abs(t.ms - e.from) <= 10000)
                around << QStringLiteral("%1 %2%3").arg(t.ms).arg(QLatin1String(kinds[t.kind]), t.field);
        }
        for (const WatchEvent &w : watch) {
            if (w.mac == e.mac && std::abs(w.ms - e.from) <= 10000)
                around << QStringLiteral("%1 told %2 %3")
                              .arg(w.ms)
                              .arg(w.event, w.fields.join(QLatin1Char(',')));
        }
        check.missedDetails << QStringLiteral("%1 %2 %3 in %4..%5 ms; around it: %6")
                                   .arg(e.mac, e.event, e.field)
                                   .arg(e.from)
                                   .arg(e.to)
                                   .arg(around.join(QLatin1String("; ")));
    }
    return check;
}

} // namespace bench
