#pragma once

#include "devicelistsink.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QVector>

#include <mutex>
#include <optional>

// The registry of devices found on the LAN, and the stack of pending set-IP requests.
//
// Two threads use it. The network worker merges replies, ages devices and takes requests;
// the GUI thread reads devices by table row and pushes requests. The worker's list
// (deviceList) is the authoritative one and is touched by the worker only. Every change
// to it is also queued, in order, for the GUI thread, which hands it to the sink (the table
// model, or the command line's device table). The sink keeps each row's whole record with the
// row, and getDevice reads it from there: so on the GUI thread getDevice(row) returns exactly
// the device that row of the table shows, at every moment, even inside the model's own change
// signals.
class IpList : public QObject
{
    Q_OBJECT
public:
    explicit IpList(DeviceListSink &sink, QObject *parent = nullptr);
    ~IpList() override;

    // Worker thread. seenOn goes to the sink only: the list, its dump and the window ignore it.
    void mergeDevice(DeviceRecord rec, const SeenOn &seenOn = SeenOn());
    int ageDevices(quint32 count); // the devices removed
    void printIpList() const;
    // Lists longer than this are dumped in part: the dump follows every reply, and its cost
    // must not grow without bound with the list (a flood of forged devices).
    static constexpr int DumpLimit = 64;
    std::optional<SetIpRequest> takeSetIpRequest();
    int workerCount() const { return int(deviceList.size()); }

    // GUI thread.
    bool getDevice(int row, DeviceRecord &out) const;
    int count() const;
    void pushSetIpRequest(const SetIpRequest &request);
    // Applies every change the worker has queued so far.
    void applyPendingChanges();

    // Any thread: they touch only their arguments.
    static bool sameSettings(const DeviceRecord &rec, const SetIpRequest &request);
    static void copyDevice(const DeviceRecord &rec, SetIpRequest &request);

private:
    struct Change
    {
        enum Kind
        {
            Append,
            Update,
            Remove
        } kind;
        int row;
        DeviceRecord rec; // Append and Update
        bool ipChanged;   // Update
        SeenOn seenOn;    // Append and Update
    };
    using Key = QPair<QString, QString>; // (mac, version)

    void queueChange(Change change);
    void rebuildIndex();
    // The one copy of a text many devices send alike (a version, a mask, a gateway): every reply
    // is parsed into texts of its own, and a long list would otherwise hold a copy per device.
    // Equal texts, so each record still holds what its device sent.
    QString shared(const QString &text);
    // The queued call: applies changes for a few milliseconds at most, then lets the GUI
    // thread breathe and continues in a later call, so a burst of thousands of new devices
    // never freezes the window. Invoked by name: the toolkit then allocates the queued call
    // itself, and nothing built by the worker thread crosses outside our own lock.
    Q_INVOKABLE void applySomeChanges();
    void scheduleApply();
    // Takes what the worker queued into the GUI thread's backlog; returns whether any is left.
    bool collectChanges();
    void applyChange(int &i);

    DeviceListSink &m_sink;

    // Worker thread only.
    QVector<DeviceRecord> deviceList;
    QHash<Key, int> m_index; // (mac, version) -> position in deviceList
    QSet<QString> m_shared;  // the texts shared(); bounded, so forged texts can't grow it

    // std::mutex rather than QMutex: the same here, and visible to ThreadSanitizer, which
    // can't see inside the (uninstrumented) toolkit's locks.
    std::mutex m_stackMutex; // guards setIpStack
    QVector<SetIpRequest> setIpStack;

    std::mutex m_changesMutex; // guards m_changes
    QVector<Change> m_changes;

    // GUI thread only: changes taken from m_changes, applied from m_next on.
    QVector<Change> m_backlog;
    int m_next = 0;
};
