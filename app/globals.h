#pragma once

class IpItemMode;
class IpList;

// The process-wide device table model and device list. Only main() and the tests reach
// them by these names; everything else is handed what it needs.
extern IpItemMode _ipItemMode;
extern IpList _ipList;
