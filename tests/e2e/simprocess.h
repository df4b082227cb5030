#pragma once

#include "devicerecord.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVector>

// lanscout-devsim run in the LAN namespace of the test bed, its event lines parsed as they
// come. Times are on this object's clock (ms since it was made), taken when a line is read,
// next to the simulator's own stamp.
class SimProcess : public QObject
{
    Q_OBJECT
public:
    struct Rx
    {
        qint64 simMs;  // the simulator's stamp
        qint64 seenMs; // this clock, when the line was read
        QString address;
        quint16 port;
        QByteArray data;
    };

    SimProcess();
    ~SimProcess() override; // kills the simulator

    // Starts it with a bounded lifetime and waits for "ready"; false with *error set otherwise.
    bool start(const QStringList &arguments, QString *error);
    void stop();
    void control(const QByteArray &line); // a line for its standard input

    qint64 now() const { return m_clock.elapsed(); }
    QVector<Rx> rx;                    // every datagram it received
    QVector<DeviceRecord> devices;     // the reply each device sends now
    QVector<QList<QByteArray>> events; // every other line, split at blanks
    QByteArray stderrText;

    QVector<Rx> rxOf(const QByteArray &data) const; // the datagrams with these exact bytes
    // The event lines of this kind (e.g. "setip"), each split at blanks.
    QVector<QList<QByteArray>> eventsOf(const QByteArray &kind) const;

private:
    void readOutput();

    QProcess m_process;
    QElapsedTimer m_clock;
    bool m_ready = false;
};

// The simulator as the build made it.
QString devsimPath();
