#include "lanscoutresources.h"

#include <QtGlobal>

void initLanScoutResources()
{
    Q_INIT_RESOURCE(lanscout_images);
    Q_INIT_RESOURCE(lanscout_translations);
}
