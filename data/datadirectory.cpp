#include "datadirectory.h"

#include "altitudetable.h"
#include "maptables.h"
#include "staticsetfile.h"
#include "terraintable.h"
#include "transitiondirectory.h"
#include "transitionfile.h"

void loadDataDirectory(MapTables &tables, const QString &dataDirectory,
                       const StaticSetMessageHandler &onStaticSetMessage)
{
    loadRoughEdgeTransitions(tables, dataDirectory);
    loadTerrainTable(tables, dataDirectory + QLatin1String("/system/terrain.xml"));
    loadAltitudeTable(tables, dataDirectory + QLatin1String("/system/altitude.xml"));
    scanTransitionDirectory(tables, dataDirectory + QLatin1String("/transitions/"));
    // Loaded after the scan, so its definitions override every subdirectory's.
    loadTransitionFile(tables, dataDirectory + QLatin1String("/transitions/common.xml"),
                       TransitionKind::General);
    scanStaticSetDirectory(tables, dataDirectory + QLatin1String("/statics/"), onStaticSetMessage);
}
