#include "servicevideodraft.h"

#include "foundation/localization.h"

QString ServiceVideoDraft::defaultVideoLabel()
{
    return loc("Første udkast");
}

QString ServiceVideoDraft::defaultVideoEditor()
{
    return loc("Tavlon-klipper");
}
