#pragma once

#include "devicerecord.h"

// Following a device after a set-IP command, from its later discovery replies. Pure.
namespace cli {

// Whether a reply reports what the request asked: static: mode, address, mask, gateway and DNS
// exactly as sent; dhcp: mode dhcp, whatever address it leased.
bool reportsRequested(const DeviceRecord &seen, const SetIpRequest &request);

class Verification
{
public:
    enum class Step
    {
        Wait,     // nothing to do yet
        Resend,   // still its old settings two passes after the last send: send again now
        Verified, // reports the requested settings
        Mismatch, // reports settings that are neither its old ones nor the requested ones
    };

    // before: the device as it was when the command was first sent; retries: resends allowed.
    Verification(const DeviceRecord &before, const SetIpRequest &request, int retries);

    // A command was queued while pass was the latest discovery count seen in a reply.
    void sent(quint32 pass);
    // A reply of the device (its cnt is the discovery it answered).
    Step reply(const DeviceRecord &seen);
    int sends() const { return m_sends; }

private:
    DeviceRecord m_before;
    SetIpRequest m_request;
    int m_retries;
    int m_sends = 0;
    quint32 m_sentPass = 0;
};

} // namespace cli
