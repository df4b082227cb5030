#include "verify.h"

#include "iplist.h"

namespace cli {

bool reportsRequested(const DeviceRecord &seen, const SetIpRequest &request)
{
    if (request.ipways == QLatin1String("dhcp"))
        return seen.ipways == request.ipways;
    return IpList::sameSettings(seen, request);
}

Verification::Verification(const DeviceRecord &before, const SetIpRequest &request, int retries)
    : m_before(before), m_request(request), m_retries(retries)
{
}

void Verification::sent(quint32 pass)
{
    ++m_sends;
    m_sentPass = pass;
}

Verification::Step Verification::reply(const DeviceRecord &seen)
{
    if (reportsRequested(seen, m_request))
        return Step::Verified;
    if (!IpList::sameSettings(seen, m_before))
        return Step::Mismatch;
    // The command goes out on the tick after it was queued, in place of a discovery; the reply
    // to the second discovery after that shows whether the device took it. Counts wrap.
    const quint32 passes = seen.cnt - m_sentPass;
    if (m_sends > 0 && passes >= 2 && passes < 0x80000000u && m_sends <= m_retries)
        return Step::Resend;
    return Step::Wait;
}

} // namespace cli
