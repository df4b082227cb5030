#include "netsettings.h"

#include "iplist.h"
#include "ipset.h"

void runNetworkSettings(IpList &list, int row, QWidget *parent)
{
    DeviceRecord record;
    if (!list.getDevice(row, record))
        return; // no current row (-1) or a row the list no longer has

    SetIpRequest request;
    IpList::copyDevice(record, request);
    // The dialog borrows the request and deletes itself before exec() returns
    // (WA_DeleteOnClose), so the request on this stack outlives it.
    auto *dlg = new IpSet(&request, parent);
    const int result = dlg->exec();
    if (result == QDialog::Accepted && !IpList::sameSettings(record, request))
        list.pushSetIpRequest(request);
}
