#include "globals.h"

#include "ipitemmode.h"
#include "iplist.h"

// Defined in one translation unit so the model exists before the list that feeds it,
// and goes after it.
IpItemMode _ipItemMode;
IpList _ipList(&_ipItemMode);
