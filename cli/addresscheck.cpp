#include "addresscheck.h"

#include <algorithm>
#include <cctype>

namespace cli {

QString macKey(const QString &mac)
{
    QString key;
    for (const QChar c : mac) {
        if (c == QLatin1Char(':') || c == QLatin1Char('-') || c == QLatin1Char('.'))
            continue;
        if (!isxdigit(c.unicode() < 0x80 ? c.toLatin1() : 'x'))
            return {};
        key += c.toLower();
    }
    return key.size() == 12 ? key : QString();
}

bool sameMac(const QString &a, const QString &b)
{
    const QString key = macKey(a);
    return !key.isEmpty() && key == macKey(b);
}

QString macText(const QString &mac)
{
    const QString key = macKey(mac);
    if (key.isEmpty())
        return mac;
    QString text;
    for (int i = 0; i < 12; i += 2)
        text += (i ? QStringLiteral(":") : QString()) + key.mid(i, 2);
    return text;
}

int interfaceFor(quint32 address, const QVector<LocalInterface> &locals)
{
    int best = -1;
    for (int i = 0; i < locals.size(); ++i) {
        if (locals[i].subnet.contains(address) &&
            (best < 0 || locals[i].subnet.prefixLength > locals[best].subnet.prefixLength))
            best = i;
    }
    return best;
}

Verdict conflictVerdict(const QString &address, const QString &deviceMac, const QStringList &known,
                        const ArpResult &result, bool requireFree)
{
    QStringList foreign, own;
    for (const QString &mac : result.macs) {
        const bool expected =
            sameMac(mac, deviceMac) ||
            std::any_of(known.begin(), known.end(), [&](const QString &k) { return sameMac(mac, k); });
        (expected ? own : foreign) << macText(mac);
    }
    const QString more = result.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(result.detail);
    // Without a fresh answer the check says so; --require-free turns that into a refusal.
    const auto unsure = [&](const QString &text) {
        return requireFree ? Verdict{true, text + QStringLiteral("; refused (--require-free)")}
                           : Verdict{false, text + QStringLiteral("; going on (--require-free refuses)")};
    };
    switch (result.kind) {
    case ArpResult::Free:
        return {};
    case ArpResult::Answered:
        if (!foreign.isEmpty())
            return {true, QStringLiteral("address in use: %1 answers ARP from %2, not the device's %3%4")
                              .arg(address, foreign.join(QStringLiteral(", ")), macText(deviceMac), more)};
        return {false, QStringLiteral("%1 answers ARP from %2, a device found by the search: not a conflict")
                           .arg(address, own.join(QStringLiteral(", ")))};
    case ArpResult::Cached:
        return unsure(QStringLiteral("can't tell whether %1 is free: no fresh ARP answer, and this host's "
                                     "neighbour cache holds %2 for it from before%3")
                          .arg(address, (foreign + own).join(QStringLiteral(", ")), more));
    case ArpResult::Unchecked:
        break;
    }
    return unsure(QStringLiteral("address-conflict check not run for %1: %2").arg(address, result.detail));
}

} // namespace cli
