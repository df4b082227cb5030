#pragma once

class IpList;
class QWidget;

// The network settings flow for the device shown in table row `row`: copies the device
// into a request, runs the IpSet dialog on it, and queues the request on the list when the
// dialog is accepted with changed settings. Does nothing for a row that is not listed.
void runNetworkSettings(IpList &list, int row, QWidget *parent);
