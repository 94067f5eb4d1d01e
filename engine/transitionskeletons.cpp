#include "transitionskeletons.h"

#include "data/terrainnames.h"
#include "xmltext.h"

QByteArray transitionSkeletons(const QList<BorderPattern> &patterns, const TerrainNames &names,
                               const QString &imageName)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- Open transitions for the "
        + QByteArray::number(patterns.size()) + " border patterns of " + xmlCommentText(imageName)
        + " that no definition matched.\n"
          "     Move this file into a subdirectory of transitions/ and give each TransInfo a\n"
          "     MapTile or StaticTile; until then it changes nothing, and check-data lists it\n"
          "     as an empty-transition. -->\n<Transitions>\n";
    for (const BorderPattern &pattern : patterns) {
        xml += "  <!-- " + xmlCommentText(names.list(pattern.terrains)) + ": "
            + QByteArray::number(pattern.cells) + (pattern.cells == 1 ? " cell" : " cells")
            + ", first at (" + QByteArray::number(pattern.firstCell.x()) + ", "
            + QByteArray::number(pattern.firstCell.y()) + ")\n";
        for (const QString &row : names.drawWindow(pattern.key))
            xml += "       " + xmlCommentText(row) + "\n";
        xml += "  -->\n  <TransInfo HashKey=\"" + pattern.key.toText().toLatin1()
            + "\">\n    <MapTiles>\n      <!-- <MapTile TileID=\"\" AltIDMod=\"0\"/> -->\n"
              "    </MapTiles>\n  </TransInfo>\n";
    }
    return xml + "</Transitions>\n";
}
