#include "terraintable.h"

#include "definitionreaders.h"
#include "maptables.h"

#include <QList>

using namespace Qt::StringLiterals;

void loadTerrainTable(MapTables &tables, const QString &path, ReadPoll *poll)
{
    struct Terrain
    {
        std::uint8_t key;
        quint16 tileId;
        bool random;
    };
    QList<Terrain> terrains;
    const auto read = [&](const XmlElement &terrain) {
        // Keys keep the low 8 bits of the converted number, so 256 is index 0.
        terrains.append({static_cast<std::uint8_t>(terrain.value("ID"_L1).toUShort()),
                         terrain.value("TileID"_L1).toUShort(),
                         terrain.value("Random"_L1) == u"True"});
    };
    if (!readPaletteFile(path, "Terrain"_L1, read, poll).ok)
        return;
    for (const Terrain &terrain : std::as_const(terrains)) {
        tables.TerrainTable.insert(terrain.key, terrain.tileId);
        tables.TerrainRandomTable.insert(terrain.key, terrain.random);
    }
}
