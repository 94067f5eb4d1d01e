#include "datadirectory.h"

#include "altitudetable.h"
#include "maptables.h"
#include "terraintable.h"

void loadDataDirectory(MapTables &tables, const QString &dataDirectory,
                       const StaticSetMessageHandler &onStaticSetMessage)
{
    loadTerrainTable(tables, dataDirectory + QLatin1String("/system/terrain.xml"));
    loadAltitudeTable(tables, dataDirectory + QLatin1String("/system/altitude.xml"));
    // The static sets, loaded last, report through onStaticSetMessage.
    Q_UNUSED(onStaticSetMessage);
}
