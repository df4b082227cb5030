#pragma once

#include "churn.h"
#include "devicerecord.h"
#include "ipv4.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// The device side of the simulator, without sockets: the simulated devices, the way they
// take a set-IP command, the command line and the control commands.
namespace devsim {

// The IPv4 subnet the simulated devices live in (ipv4.h), made only within the simulator's bounds.
struct Subnet : Ipv4Subnet
{
    // "198.18.0.2/24" or "198.18.0.0/24": the subnet that address is in. Prefix 8 to 28,
    // so that there is room for the devices and the DHCP pool.
    static std::optional<Subnet> fromText(const QString &text);
    static std::optional<Subnet> containing(quint32 address, int prefixLength);
};

using ::ipv4Text;
using ::parseIpv4; // strict dotted decimal

// Addresses handed out to devices that switch to DHCP: the top of the subnet. A device
// keeps its lease, so asking again (the host sends every command from each of its
// addresses) gives the same address.
class AddressPool
{
public:
    explicit AddressPool(const Subnet &subnet);

    std::optional<quint32> lease(const QString &mac);
    void release(const QString &mac);
    quint32 first() const { return m_first; }
    int size() const { return m_size; }

private:
    quint32 m_first = 0;
    int m_size = 0;
    QHash<QString, quint32> m_leases; // mac -> address
};

enum class SetIpResult
{
    Applied,
    UnknownDevice, // no device has this version and mac
    DeviceSilent,  // the device is switched off the network
    UnknownMode,   // ipways neither "static" nor "dhcp"
    BadAddress,    // static with an address or mask that is not dotted decimal IPv4
    PoolExhausted, // dhcp, and every pool address is leased to another device
    Ignored,       // the device ignores set-IP commands (SetIpHabit::ignore)
    Dropped,       // the device drops this one (SetIpHabit::drop)
    Misapplied,    // taken, with another address than the one sent (SetIpHabit::otherAddress)
};
QString resultName(SetIpResult result);

struct SetIpOutcome
{
    SetIpResult result;
    int device = -1; // the device addressed, when one was found
};

// How a device treats the set-IP commands meant for it, so that what a host makes of their
// effect can be tested. By default it takes them.
struct SetIpHabit
{
    bool ignore = false;  // takes none
    int drop = 0;         // drops this many more (each datagram counts)
    QString otherAddress; // not empty: takes commands with this address in place of the one sent
};

// The simulated devices, numbered from 0.
class SimDevices
{
public:
    // count devices with distinct MACs (02:00:00:xx:xx:xx, locally administered) and
    // versions, each with a static address of the subnet.
    SimDevices(const Subnet &subnet, int count);

    int size() const { return int(m_devices.size()); }
    const DeviceRecord &device(int index) const { return m_devices.at(index); }
    bool isSilent(int index) const { return m_silent.at(index); }
    void setSilent(int index, bool silent) { m_silent[index] = silent; }
    // The devices that answer a discovery request, in order.
    QVector<int> answering() const;

    void setHabit(int index, const SetIpHabit &habit) { m_habits[index] = habit; }
    SetIpHabit habit(int index) const { return m_habits.value(index); }

    // A set-IP command: applied to the one device whose version and mac both match.
    SetIpOutcome apply(const SetIpRequest &command);

    // Churn. A new device, numbered after the others and answering: its number.
    int add();
    // The device takes an address no device was given since the start, as long as the subnet
    // has any (then they repeat, as at the start); the address.
    QString renumber(int index);
    // The ninth field (even serials) or the gateway (odd ones) takes another text: its name.
    QString changeField(int index, int serial);

private:
    DeviceRecord makeDevice(int index, quint32 address) const;
    quint32 nextAddress();

    Subnet m_subnet;
    AddressPool m_pool;
    QVector<DeviceRecord> m_devices;
    QVector<bool> m_silent;
    QHash<int, SetIpHabit> m_habits; // devices of other habits than the default
    quint32 m_firstStatic = 0, m_staticCount = 1, m_nextStatic = 0; // static addresses, in host parts
};

struct Options
{
    int devices = 3;
    bool broadcast = false; // answer to 255.255.255.255:8888 instead of the sender
    int spreadMs = 0;
    int lifetimeS = 0; // 0: until "quit" or the end of standard input
    bool readControl = true;
    bool allowRealNetwork = false;
    std::optional<Subnet> subnet; // none: the subnet of the first LAN address
    // Not empty: only discovery requests from these addresses are answered, as by devices that
    // are reachable through one of the host's networks only.
    QList<QHostAddress> onlyFrom;
    QHash<int, SetIpHabit> habits; // by device
    ChurnRates churn;              // per cent of the devices per minute
    quint64 churnSeed = 1;
};

struct ParsedOptions
{
    Options options;
    bool help = false;
    bool version = false;
    QString error; // not empty: the command line is wrong
};

ParsedOptions parseOptions(const QStringList &arguments); // arguments[0] is the program
QString usage();

struct Control
{
    enum Kind
    {
        Silence,
        Wake,
        Quit,
        IgnoreSetIp,
        DropSetIp,
        MisapplySetIp,
        HeedSetIp, // back to taking every command as sent
    } kind;
    int device = -1;
    QString argument; // DropSetIp: the count; MisapplySetIp: the address
};
// One line of standard input: "silence I", "wake I", "ignore-setip I", "drop-setip I N",
// "misapply-setip I ADDRESS", "heed-setip I" or "quit". Blanks around the words don't matter;
// anything else gives nothing.
std::optional<Control> parseControl(const QString &line);

// One line of the datagram trace: "rx <ms> <address> <port> <hex of the bytes>", with
// "-" for an empty datagram.
QByteArray rxLine(qint64 ms, const QString &address, quint16 port, const QByteArray &datagram);

} // namespace devsim
