#include "netsettings.h"

#include "iplist.h"

void runNetworkSettings(IpList &list, int row, QWidget *parent)
{
    // Placeholder until the dialog lands.
    Q_UNUSED(list);
    Q_UNUSED(row);
    Q_UNUSED(parent);
}
