#pragma once

#include "devicerecord.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The datagrams exchanged with the devices. Pure functions: no sockets, no state.
namespace protocol {

constexpr quint16 HostPort = 8888;
constexpr quint16 DevicePort = 8866;

// "@qxsrhip/all!"
QByteArray discoveryRequest();

// "@qxsetip/" version "/" mac "/" ipways "/" ipaddr "/" mask "/" gateway "/" dns1 "/" dns2 "!"
QByteArray setIpCommand(const SetIpRequest &request);

// The text a received datagram carries, as the trace shows it: for a framed datagram ("@"
// first, "!" last, at least 3 bytes) the UTF-8 text between them, otherwise the whole
// datagram; either way cut at the first NUL byte, and with visibleControls() applied.
QString datagramText(const QByteArray &datagram);

// The text with every control character but TAB (C0, DEL, C1) and the line and paragraph
// separators written as visible escapes ("\x1b", "\u2028"); everything else stays as it is. So
// what the network sends takes exactly one line of a log and can't drive a terminal.
QString visibleControls(const QString &text);

// Accepts a discovery reply: framed, keyword "qxsrhip" and exactly nine fields.
// The returned record's cnt is 0; the receiver stamps it.
std::optional<DeviceRecord> parseDiscoveryReply(const QByteArray &datagram);

// The device side of the protocol, used by the simulator and its tests.
QByteArray discoveryReply(const DeviceRecord &device);
bool isDiscoveryRequest(const QByteArray &datagram);
std::optional<SetIpRequest> parseSetIpCommand(const QByteArray &datagram);

} // namespace protocol
