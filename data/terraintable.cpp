#include "terraintable.h"

#include "maptables.h"
#include "xmldocument.h"

void loadTerrainTable(MapTables &tables, const QString &path)
{
    const XmlDocumentResult xml = readXmlDocument(path);
    if (!xml.ok)
        return;
    const QDomElement root = xml.document.documentElement();
    for (const QDomElement &terrain : descendantElements(root, QStringLiteral("Terrain"))) {
        // Keys keep the low 8 bits of the converted number, so 256 is index 0.
        const auto key =
            static_cast<std::uint8_t>(terrain.attribute(QStringLiteral("ID")).toUShort());
        const quint16 tileId = terrain.attribute(QStringLiteral("TileID")).toUShort();
        const bool random = terrain.attribute(QStringLiteral("Random")) == QLatin1String("True");
        tables.TerrainTable.insert(key, tileId);
        tables.TerrainRandomTable.insert(key, random);
    }
}
