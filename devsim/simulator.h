#pragma once

#include "simdevices.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>
#include <QVector>

class QSocketNotifier;
class QTimer;

// The simulated devices on the network: one wildcard socket on the device port answers
// discovery requests for every device and takes set-IP commands. Writes the event lines
// of usage() to standard output and readable notes to standard error.
class Simulator : public QObject
{
    Q_OBJECT
public:
    Simulator(const devsim::Options &options, const devsim::Subnet &subnet, QObject *parent = nullptr);

    // Binds the socket and starts reading control commands; false, with *error set, when
    // the port can't be had.
    bool start(QString *error);

private:
    void readDatagrams();
    void handleDatagram(const QByteArray &data, const QHostAddress &sender, quint16 senderPort);
    void answerDiscovery(const QHostAddress &sender, quint16 senderPort);
    void sendReply(int device, const QHostAddress &to, quint16 port);
    void sendDueReplies();
    void readControl();
    void runControl(const QString &line);
    void runDueChurn();

    void emitLine(const QByteArray &line);
    void printDevice(int index);
    void note(const QString &text);
    qint64 ms() const { return m_clock.elapsed(); }

    // Replies to one request still to be sent, spread out: device k of n is due spreadMs * k / n
    // after the request came in.
    struct Answer
    {
        qint64 startMs;
        QVector<int> devices;
        int next = 0;
        QHostAddress to;
        quint16 port;
    };

    devsim::Options m_options;
    devsim::SimDevices m_devices;
    QVector<QByteArray> m_replies; // each device's reply as it is now; renewed by printDevice()
    QVector<Answer> m_answers;     // oldest first
    QTimer *m_pace = nullptr;      // runs while m_answers is not empty
    QUdpSocket m_socket;
    QSocketNotifier *m_stdin = nullptr;
    QByteArray m_stdinBuffer;
    QElapsedTimer m_clock;

    // Churn: this minute's events from m_churnNext on; the minutes count from "ready".
    devsim::ChurnSchedule m_churn;
    QVector<devsim::ChurnEvent> m_churnEvents;
    int m_churnNext = 0;
    qint64 m_churnMinuteMs = 0;
    QTimer *m_churnTimer = nullptr;
};
