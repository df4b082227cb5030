// doctor: a run of discovery as list makes it, what each interface did, and findings.

#include "conflicts.h"
#include "doctor.h"
#include "doctorsystem.h"
#include "engine.h"
#include "pcap.h"
#include "run.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QNetworkInterface>
#include <QTimer>

#include <mutex>

namespace cli {

namespace {

// The capture file: its header at once, then each record whole and flushed, so that whatever
// ends the run leaves a file that reads.
class Capture
{
public:
    bool open(const QString &path)
    {
        m_file.setFileName(path);
        return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) &&
               m_file.write(pcapHeader()) == 24;
    }
    // On the worker thread.
    void write(const CapturedDatagram &d)
    {
        const QByteArray record =
            pcapRecord(QDateTime::currentMSecsSinceEpoch() * 1000, d.from.toIPv4Address(), d.fromPort,
                       d.to.toIPv4Address(), d.toPort, d.data, d.size);
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_failed.isEmpty() && m_file.write(record) != record.size())
            m_failed = m_file.errorString();
    }
    QString failed()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_failed;
    }

private:
    std::mutex m_mutex; // guards m_file and m_failed: written on the worker thread, read here
    QFile m_file;
    QString m_failed;
};

QVector<InterfaceReport> interfaceReports(const Options &o, const QVector<SocketReport> &sockets,
                                          const QVector<Device> &devices)
{
    QVector<InterfaceReport> reports;
    for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
        InterfaceReport r;
        r.name = iface.name();
        for (const QNetworkAddressEntry &e : iface.addressEntries()) {
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
                r.addresses << QStringLiteral("%1/%2").arg(e.ip().toString()).arg(e.prefixLength());
        }
        const auto flags = iface.flags();
        r.up = flags & QNetworkInterface::IsUp;
        // As UdpServer::usableAddresses() chooses.
        r.skipped = !r.up                                     ? QStringLiteral("down")
                    : !(flags & QNetworkInterface::IsRunning) ? QStringLiteral("no link (cable?)")
                    : flags & QNetworkInterface::IsLoopBack   ? QStringLiteral("loopback")
                    : r.addresses.isEmpty()                   ? QStringLiteral("no IPv4 address")
                    : !o.interfaces.isEmpty() && !o.interfaces.contains(r.name) ? QStringLiteral("not chosen")
                                                                                : QString();
        r.bound = r.skipped.isEmpty();
        r.kernelDrops = -1;
        for (const SocketReport &s : sockets) {
            if (s.interfaceName != r.name || s.interfaceName.isEmpty())
                continue;
            r.bound = r.bound && s.bound;
            if (r.bindError.isEmpty())
                r.bindError = s.error;
            r.sent += s.sent, r.received += s.received, r.accepted += s.accepted, r.ignored += s.ignored;
            r.bufferAsked = std::max(r.bufferAsked, s.bufferAsked);
            r.bufferGranted = r.bufferGranted ? std::min(r.bufferGranted, s.bufferGranted) : s.bufferGranted;
            if (s.kernelDrops >= 0)
                r.kernelDrops = std::max<qint64>(r.kernelDrops, 0) + s.kernelDrops;
        }
        for (const Device &d : devices) {
            r.devices += std::any_of(d.seenOn.begin(), d.seenOn.end(),
                                     [&](const SeenOn &s) { return s.interfaceName == r.name; });
        }
        r.rpFilter = rpFilter(r.name);
        reports << r;
    }
    return reports;
}

} // namespace

int doctor(const Options &o)
{
    SystemFacts facts;
    facts.waitS = o.waitMs / 1000.0;
    // Before this program's own sockets join the port.
    facts.portHeld = hostPortHeldElsewhere();
    if (facts.portHeld)
        facts.portHolder = portHolders();
    facts.firewall = firewall();

    Engine engine;
    engine.interfaces = o.interfaces;
    Capture capture;
    if (!o.capturePath.isEmpty()) {
        if (!capture.open(o.capturePath)) {
            note(QStringLiteral("--capture: can't write %1").arg(quoted(o.capturePath)));
            return BadInput;
        }
        engine.capture = [&capture](const CapturedDatagram &d) { capture.write(d); };
    }
    int signal = 0;
    QEventLoop loop;
    QTimer::singleShot(o.waitMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    // No socket at all is a finding here, not an end.
    if (engine.start()) {
        onStopRequest([&](int s) {
            signal = s;
            loop.quit();
        });
        loop.exec();
    }
    engine.stop();
    if (!capture.failed().isEmpty())
        note(QStringLiteral("--capture: writing failed: %1").arg(capture.failed()));

    const QVector<Device> devices = withNotes(engine.table.devices());
    const QVector<InterfaceReport> interfaces = interfaceReports(o, engine.reports, devices);
    for (const SocketReport &s : qAsConst(engine.reports)) {
        if (s.interfaceName.isEmpty() && s.address == QLatin1String("0.0.0.0"))
            facts.listener = {
                QString(),  {},         true,      QString(), s.bound,       s.error,         s.sent,
                s.received, s.accepted, s.ignored, 0,         s.bufferAsked, s.bufferGranted, s.kernelDrops,
                -1};
    }
    const QVector<Finding> found = findings(interfaces, devices, facts);
    out(o.format == Format::Json ? doctorJson(interfaces, devices, found)
                                 : doctorText(interfaces, devices, found));
    if (signal)
        return 128 + signal;
    return anyProblem(found) ? 1 : 0;
}

} // namespace cli
