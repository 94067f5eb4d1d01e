#include "transitionfile.h"

#include "maptables.h"
#include "xmldocument.h"

namespace {

void appendTiles(const QDomElement &group, const QString &tileName, QList<TransitionTile> &tiles)
{
    for (const QDomElement &tile : descendantElements(group, tileName)) {
        TransitionTile parsed;
        parsed.tileId = tile.attribute(QStringLiteral("TileID")).toUShort();
        // The low 8 bits of the 16-bit value, as two's complement.
        parsed.altIdMod =
            static_cast<std::int8_t>(tile.attribute(QStringLiteral("AltIDMod")).toShort());
        tiles.append(parsed);
    }
}

} // namespace

void loadTransitionFile(MapTables &tables, const QString &path, TransitionKind kind)
{
    const XmlDocumentResult xml = readXmlDocument(path);
    if (!xml.ok)
        return;
    TransitionHash &table = tables.transitionTable(kind);
    const QDomElement root = xml.document.documentElement();
    const QString mapTiles = QStringLiteral("MapTiles");
    const QString staticTiles = QStringLiteral("StaticTiles");
    for (const QDomElement &definition : descendantElements(root, QStringLiteral("TransInfo"))) {
        const QString key = definition.attribute(QStringLiteral("HashKey"));
        TransitionInfo info;
        // Only tiles inside a MapTiles or StaticTiles child of this very
        // definition belong to it; a nested definition keeps its own.
        for (QDomElement child = definition.firstChildElement(); !child.isNull();
             child = child.nextSiblingElement()) {
            if (child.tagName() == mapTiles)
                appendTiles(child, QStringLiteral("MapTile"), info.mapTiles);
            else if (child.tagName() == staticTiles)
                appendTiles(child, QStringLiteral("StaticTile"), info.staticTiles);
        }
        table.insert(key, info);

        if (kind == TransitionKind::General) {
            const QString file = definition.attribute(QStringLiteral("File"));
            // Without a File the key keeps the set an earlier definition named.
            if (!file.isEmpty())
                tables.TransitionFileTable.insert(key, file.toUpper());
        }
    }
}
