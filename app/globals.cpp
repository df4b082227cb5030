#include "globals.h"

#include "ipitemmode.h"
#include "iplist.h"
#include "lanscoutresources.h"

// Defined in one translation unit so the model exists before the list that feeds it,
// and goes after it.
IpItemMode _ipItemMode;
IpList _ipList(_ipItemMode);

namespace {

// The compiled-in resources are there from static initialisation on, before the toolkit
// looks for its configuration while the application object is built.
const bool resourcesRegistered = (initLanScoutResources(), true);

} // namespace
