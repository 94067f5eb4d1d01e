#include "edgeexpansion.h"

#include "xmltext.h"

#include <QHash>
#include <QMap>

#include <algorithm>

namespace {

// The neighbour bit of window position 0 to 8 (not the centre, 4).
std::uint8_t neighbourBit(int position)
{
    return std::uint8_t(1u << (position < 4 ? position : position - 1));
}

class Expander
{
public:
    explicit Expander(const QList<EdgeSet> &sets) : m_sets(sets)
    {
        for (qsizetype i = 0; i < sets.size(); ++i)
            m_setOfPair.insert(pairKey(sets[i].over, sets[i].under), int(i));
        m_expansion.definitions.resize(sets.size());
    }

    void add(const BorderPattern &pattern)
    {
        const PackedKey key = pattern.key;
        const std::uint8_t centre = key.at(4);
        int counts[256] = {};
        for (int i = 0; i < 9; ++i)
            ++counts[key.at(i)];

        // The terrain drawn over the centre with the most cells, and every
        // neighbour whose terrain is drawn over the centre.
        int set = -1, setCells = 0;
        std::uint8_t overMask = 0;
        for (int i = 0; i < 9; ++i) {
            const int candidate = setOf(key.at(i), centre);
            if (i == 4 || candidate < 0)
                continue;
            overMask |= neighbourBit(i);
            const int cells = counts[key.at(i)];
            if (cells > setCells || (cells == setCells && candidate < set)) {
                set = candidate;
                setCells = cells;
            }
        }
        EdgeShape shape = EdgeShape::Full;
        if (set >= 0) {
            shape = underCellShape(overMask);
        } else {
            // The centre is drawn over its neighbours: its own look.
            for (int i = 0; i < 9; ++i) {
                const int candidate = setOf(centre, key.at(i));
                const int cells = counts[key.at(i)];
                if (i != 4 && candidate >= 0
                    && (cells > setCells || (cells == setCells && candidate < set))) {
                    set = candidate;
                    setCells = cells;
                }
            }
        }
        const std::optional<EdgeShape> drawnAs =
            set >= 0 ? m_sets[set].drawnAs(shape) : std::nullopt;
        if (drawnAs) {
            m_expansion.definitions[set].append({key, shape, *drawnAs});
            return;
        }
        const QList<std::uint8_t> terrains = set < 0 ? pattern.terrains : QList<std::uint8_t>();
        UncoveredBorders &uncovered =
            m_uncovered[{set < 0 ? m_sets.size() : set, int(shape), terrains}];
        const bool earlier = pattern.firstCell.y() != uncovered.firstCell.y()
            ? pattern.firstCell.y() < uncovered.firstCell.y()
            : pattern.firstCell.x() < uncovered.firstCell.x();
        if (uncovered.patterns == 0 || earlier)
            uncovered.firstCell = pattern.firstCell;
        uncovered.set = set;
        uncovered.shape = shape;
        uncovered.terrains = terrains;
        ++uncovered.patterns;
        uncovered.cells += pattern.cells;
    }

    EdgeExpansion result()
    {
        for (QList<EdgeDefinition> &definitions : m_expansion.definitions)
            std::sort(definitions.begin(), definitions.end(),
                      [](const EdgeDefinition &a, const EdgeDefinition &b) {
                          if (a.shape != b.shape)
                              return a.shape < b.shape;
                          for (int i = 0; i < 9; ++i) {
                              if (a.key.at(i) != b.key.at(i))
                                  return a.key.at(i) < b.key.at(i);
                          }
                          return false;
                      });
        m_expansion.uncovered = m_uncovered.values();
        return m_expansion;
    }

private:
    static int pairKey(std::uint8_t over, std::uint8_t under) { return over * 256 + under; }
    int setOf(std::uint8_t over, std::uint8_t under) const
    {
        return m_setOfPair.value(pairKey(over, under), -1);
    }

    const QList<EdgeSet> &m_sets;
    QHash<int, int> m_setOfPair;
    EdgeExpansion m_expansion;
    // By edge set (patterns of no edge set last), shape and terrains.
    QMap<std::tuple<qsizetype, int, QList<std::uint8_t>>, UncoveredBorders> m_uncovered;
};

// The window of a cell of terrain centre whose neighbours in otherMask are
// of terrain other.
BorderPattern twoTerrainPattern(std::uint8_t centre, std::uint8_t other, int otherMask)
{
    BorderPattern pattern;
    for (int i = 0; i < 9; ++i) {
        const std::uint64_t index = i != 4 && (otherMask & neighbourBit(i)) ? other : centre;
        if (i == 8)
            pattern.key.tail = std::uint8_t(index);
        else
            pattern.key.head |= index << (8 * i);
    }
    pattern.terrains = {std::min(centre, other), std::max(centre, other)};
    return pattern;
}

} // namespace

EdgeExpansion expandEdgeSets(const QList<EdgeSet> &sets, const QList<BorderPattern> *imagePatterns)
{
    Expander expander(sets);
    if (imagePatterns) {
        for (const BorderPattern &pattern : *imagePatterns)
            expander.add(pattern);
        return expander.result();
    }
    for (const EdgeSet &set : sets) {
        for (int mask = 1; mask < 256; ++mask) {
            expander.add(twoTerrainPattern(set.under, set.over, mask));
            expander.add(twoTerrainPattern(set.over, set.under, mask));
        }
    }
    return expander.result();
}

namespace {

QByteArray tileElements(const char *name, const QList<TransitionTile> &tiles)
{
    QByteArray xml;
    for (const TransitionTile &tile : tiles)
        xml += QByteArray("<") + name + " TileID=\"" + QByteArray::number(tile.tileId)
            + "\" AltIDMod=\"" + QByteArray::number(tile.altIdMod) + "\"/>";
    return xml;
}

} // namespace

QByteArray edgeSetTransitions(const EdgeSet &set, const QList<EdgeDefinition> &definitions,
                              const QString &sourceName)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- Edge set "
        + xmlCommentText(set.name) + " (terrain " + QByteArray::number(set.over) + " over "
        + QByteArray::number(set.under) + ") of " + xmlCommentText(sourceName)
        + ", expanded by mapgenerator-cli expand-edges:\n"
          "     change the edge set and expand it again rather than this file. -->\n"
          "<Transitions>\n";
    for (const EdgeDefinition &definition : definitions) {
        const EdgeTiles &tiles = *set.shapes[std::size_t(definition.drawnAs)];
        xml += "  <TransInfo HashKey=\"" + definition.key.toText().toLatin1() + "\"";
        if (!tiles.staticSet.isEmpty())
            xml += " File=\"" + xmlAttributeText(tiles.staticSet) + "\"";
        xml += "><!-- " + edgeShapeName(definition.shape).toLatin1();
        if (definition.drawnAs != definition.shape)
            xml += ", drawn as " + edgeShapeName(definition.drawnAs).toLatin1();
        xml += " -->\n";
        if (!tiles.mapTiles.isEmpty())
            xml += "    <MapTiles>" + tileElements("MapTile", tiles.mapTiles) + "</MapTiles>\n";
        if (!tiles.staticTiles.isEmpty())
            xml += "    <StaticTiles>" + tileElements("StaticTile", tiles.staticTiles)
                + "</StaticTiles>\n";
        xml += "  </TransInfo>\n";
    }
    return xml + "</Transitions>\n";
}

QString edgeSetFilePath(const QString &directory, const EdgeSet &set)
{
    return QStringLiteral("%1/%2/%2.xml").arg(directory, set.name);
}

QList<DesignerFile> edgeSetFiles(const QList<EdgeSet> &sets, const EdgeExpansion &expansion,
                                 const QString &directory, const QString &sourceName)
{
    QList<DesignerFile> files;
    for (qsizetype i = 0; i < sets.size(); ++i) {
        if (!expansion.definitions[i].isEmpty())
            files.append({edgeSetFilePath(directory, sets[i]),
                          edgeSetTransitions(sets[i], expansion.definitions[i], sourceName)});
    }
    return files;
}
