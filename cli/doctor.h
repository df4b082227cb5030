#pragma once

#include "devicetable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// doctor: why devices are not found. Pure: what the run and the system showed in, findings out.
namespace cli {

// One interface of the system and what the engine did on it.
struct InterfaceReport
{
    QString name;
    QStringList addresses; // IPv4, "198.18.0.1/24"
    bool up = false;
    QString skipped;    // why the engine used none of its addresses; empty: used
    bool bound = false; // every socket on it
    QString bindError;
    quint64 sent = 0, received = 0, accepted = 0, ignored = 0;
    int devices = 0; // devices whose replies were read here
    int bufferAsked = 0, bufferGranted = 0;
    qint64 kernelDrops = -1; // -1: the system does not tell
    int rpFilter = -1;       // effective: the higher of "all" and the interface's; -1: unknown
};

enum class FirewallState
{
    Unknown,
    Open,
    Blocks
};

struct Firewall
{
    FirewallState state = FirewallState::Unknown;
    QString detail; // the rule or profile that blocks, or why it can't be told
    QString advice; // the command that lets the replies in
};

// What the system tells besides the run, read at the edge.
struct SystemFacts
{
    bool portHeld = false; // another program holds port 8888
    QString portHolder;    // its name and pid, where the system tells
    Firewall firewall;
    InterfaceReport listener; // the socket for replies sent by broadcast (its drops and buffer)
    double waitS = 0;
};

struct Finding
{
    QString id, severity; // "problem", "warning" or "info"
    QString interfaceName, device;
    QString message, advice;
};

QVector<Finding> findings(const QVector<InterfaceReport> &interfaces, const QVector<Device> &devices,
                          const SystemFacts &facts);
bool anyProblem(const QVector<Finding> &findings);

// {"format_version": 1, "interfaces": [...], "devices": [...], "findings": [...]}
QByteArray doctorJson(const QVector<InterfaceReport> &interfaces, const QVector<Device> &devices,
                      const QVector<Finding> &findings);
QByteArray doctorText(const QVector<InterfaceReport> &interfaces, const QVector<Device> &devices,
                      const QVector<Finding> &findings);

// Whether the input chains of `nft -j list ruleset` may drop UDP to port 8888: a rule with drop
// or reject that could match it, or a policy drop with no rule before that surely accepts it.
// Matches it can't judge count as matching for a drop and as not matching for an accept.
Firewall nftFirewall(const QByteArray &json);

} // namespace cli
