#include "starterworld.h"

#include "bordercoverage.h"
#include "edgeexpansion.h"
#include "glibcrandom.h"
#include "paletteimage.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

enum Terrain : std::uint8_t { Water, Sand, Grass, Forest, Dirt, Rock, Snow, Swamp, TerrainCount };

struct TerrainKind
{
    const char *name;
    QRgb color;
    int tileId;
    bool random;
};

// Tile ids are this world's own invention; each terrain owns a range of 100.
const std::array<TerrainKind, TerrainCount> terrains = {{
    {"water", qRgb(38, 84, 170), 1000, false},
    {"sand", qRgb(228, 208, 140), 1100, true},
    {"grass", qRgb(96, 170, 70), 1200, true},
    {"forest", qRgb(28, 100, 40), 1300, true},
    {"dirt", qRgb(140, 100, 60), 1400, true},
    {"rock", qRgb(128, 128, 128), 1500, true},
    {"snow", qRgb(245, 245, 250), 1600, true},
    {"swamp", qRgb(80, 96, 60), 1700, true},
}};

// Where two terrains meet, the later one here is drawn over the other.
constexpr std::array<Terrain, TerrainCount> layers = {Water, Swamp,  Sand, Dirt,
                                                      Grass, Forest, Rock, Snow};

constexpr int altitudeLevels = 32;
constexpr int waterAltitudeIndex = 2;

int altitudeOfIndex(int index)
{
    return index * 4 - 13; // -13 to 111
}

// Smooth noise: random values on a lattice, blended with smoothstep, summed
// over octaves. Drawn from the project's own generator so that a seed gives
// the same world everywhere.
class ValueNoise
{
public:
    ValueNoise(GlibcRandom &random, int size) : m_size(size), m_values(size_t(size) * size)
    {
        for (float &value : m_values)
            value = float(random.next() % 10000) / 10000.0f;
    }

    float at(double x, double y) const
    {
        const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
        const double fx = smooth(x - x0), fy = smooth(y - y0);
        const double top = lerp(value(x0, y0), value(x0 + 1, y0), fx);
        const double bottom = lerp(value(x0, y0 + 1), value(x0 + 1, y0 + 1), fx);
        return float(lerp(top, bottom, fy));
    }

    float fractal(double x, double y) const
    {
        double sum = 0, weight = 1, total = 0, scale = 1;
        for (int octave = 0; octave < 4; ++octave) {
            sum += at(x * scale + octave * 17.3, y * scale + octave * 9.1) * weight;
            total += weight;
            weight *= 0.5;
            scale *= 2;
        }
        return float(sum / total);
    }

private:
    static double smooth(double t) { return t * t * (3 - 2 * t); }
    static double lerp(double a, double b, double t) { return a + (b - a) * t; }
    float value(int x, int y) const
    {
        const int wrappedX = ((x % m_size) + m_size) % m_size;
        const int wrappedY = ((y % m_size) + m_size) % m_size;
        return m_values[size_t(wrappedY) * m_size + wrappedX];
    }

    int m_size;
    std::vector<float> m_values;
};

QString hexCode(int index)
{
    return QStringLiteral("%1").arg(index, 2, 16, QLatin1Char('0')).toUpper();
}

// A 3 x 3 window of terrain indexes, rows first, packed one per byte.
using Window = std::array<std::uint8_t, 9>;

QString keyText(const Window &window)
{
    QString text;
    for (std::uint8_t index : window)
        text += hexCode(index);
    return text;
}

class WorldWriter
{
public:
    WorldWriter(const QString &directory, QString *errorText)
        : m_directory(directory), m_errorText(errorText)
    {
    }

    bool write(const QString &relativePath, const QByteArray &contents)
    {
        const QString path = filePath(relativePath);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            return fail(path, QStringLiteral("cannot create its directory"));
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size()
            || !file.commit())
            return fail(path, file.errorString());
        return true;
    }

    QString filePath(const QString &relativePath) const
    {
        return m_directory + QLatin1Char('/') + relativePath;
    }

    bool writeImage(const QString &relativePath, const QImage &image)
    {
        const QString path = filePath(relativePath);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
            return fail(path, file.errorString());
        return true;
    }

    bool fail(const QString &path, const QString &reason)
    {
        if (m_errorText)
            *m_errorText =
                QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason);
        return false;
    }

private:
    QString m_directory;
    QString *m_errorText;
};

class StarterWorld
{
public:
    explicit StarterWorld(const StarterWorldOptions &options) : m_options(options)
    {
        m_terrain = QImage(options.width, options.height, QImage::Format_Indexed8);
        m_altitude = QImage(options.width, options.height, QImage::Format_Indexed8);
        QList<QRgb> altitudeColors;
        for (int i = 0; i < altitudeLevels; ++i)
            altitudeColors << qRgb(i * 8, i * 8, i * 8);
        m_terrain.setColorTable(starterTerrainColours());
        m_altitude.setColorTable(altitudeColors);
    }

    void paint()
    {
        GlibcRandom random(m_options.seed);
        const ValueNoise heightNoise(random, 64);
        const ValueNoise moistureNoise(random, 64);
        const double scale = 1.0 / 160.0;
        for (int y = 0; y < m_options.height; ++y) {
            uchar *terrainRow = m_terrain.scanLine(y);
            uchar *altitudeRow = m_altitude.scanLine(y);
            for (int x = 0; x < m_options.width; ++x) {
                const float height = heightNoise.fractal(x * scale, y * scale);
                const float moisture = moistureNoise.fractal(x * scale * 1.5, y * scale * 1.5);
                const Terrain terrain = classify(height, moisture);
                terrainRow[x] = terrain;
                altitudeRow[x] = terrain == Water
                    ? waterAltitudeIndex
                    : uchar(
                        std::clamp(int(4 + (height - 0.42f) / 0.4f * 27), 3, altitudeLevels - 1));
            }
        }
    }

    bool writeTo(const QString &directory, QString *errorText)
    {
        WorldWriter writer(directory, errorText);
        collectBorderPatterns();
        return writer.writeImage(QStringLiteral("terrain.png"), m_terrain)
            && writer.writeImage(QStringLiteral("altitude.png"), m_altitude)
            && writer.write(QStringLiteral("data/system/terrain.xml"), terrainXml())
            && writer.write(QStringLiteral("data/system/altitude.xml"), altitudeXml())
            && writeRoughEdges(writer) && writeEdgeSets(writer)
            && writer.write(QStringLiteral("data/transitions/common.xml"), commonXml())
            && writeStaticSets(writer) && writeStructures(writer)
            && writer.write(QStringLiteral("mapgenerator.xml"), settingsXml())
            && writer.write(QStringLiteral("README.txt"), readme());
    }

private:
    static Terrain classify(float height, float moisture)
    {
        if (height < 0.40f)
            return Water;
        if (height < 0.43f)
            return Sand;
        if (height > 0.70f)
            return Snow;
        if (height > 0.62f)
            return Rock;
        if (moisture > 0.60f && height < 0.50f)
            return Swamp;
        if (moisture > 0.52f)
            return Forest;
        if (moisture < 0.38f)
            return Dirt;
        return Grass;
    }

    int processedWidth() const { return m_options.width / 8 * 8; }
    int processedHeight() const { return m_options.height / 8 * 8; }

    void collectBorderPatterns()
    {
        m_borderPatterns = BorderCoverage::allPatterns(PaletteImage::fromImage(m_terrain));
        for (const BorderPattern &pattern : std::as_const(m_borderPatterns)) {
            Window window;
            for (int i = 0; i < 9; ++i)
                window[std::size_t(i)] = pattern.key.at(i);
            m_patterns.push_back(window);
        }
        // The scan's order is not fixed; the files must be.
        std::sort(m_patterns.begin(), m_patterns.end());
    }

    // The terrain that meets the centre most often in the window.
    static int partnerOf(const Window &window)
    {
        std::array<int, TerrainCount> counts {};
        for (std::uint8_t index : window)
            if (index != window[4])
                ++counts[index];
        return int(std::max_element(counts.begin(), counts.end()) - counts.begin());
    }

    // Which neighbours differ from the centre, as bits west to east, north to south.
    static int borderMask(const Window &window)
    {
        int mask = 0;
        for (int i = 0, bit = 0; i < 9; ++i) {
            if (i == 4)
                continue;
            if (window[i] != window[4])
                mask |= 1 << bit;
            ++bit;
        }
        return mask;
    }

    static bool isRoughEdge(const Window &window)
    {
        const int centre = window[4], partner = partnerOf(window);
        return (centre == Rock && partner == Snow) || (centre == Snow && partner == Rock);
    }

    static QByteArray definition(const Window &window, int mapTile, int altIdMod)
    {
        return "  <TransInfo HashKey=\"" + keyText(window).toLatin1()
            + "\">\n    <MapTiles><MapTile TileID=\"" + QByteArray::number(mapTile)
            + "\" AltIDMod=\"" + QByteArray::number(altIdMod) + "\"/></MapTiles>\n  </TransInfo>\n";
    }

    bool writeRoughEdges(WorldWriter &writer) const
    {
        // Cliffs between rock and snow: a west border goes to the left
        // table, a north border to the top table, the rest to the corner.
        QByteArray left, top, corner;
        for (const Window &window : m_patterns) {
            if (!isRoughEdge(window))
                continue;
            const int mask = borderMask(window);
            const QByteArray xml = definition(window, 9000 + mask % 50, 2);
            if (mask & (1 << 3))
                left += xml;
            else if (mask & (1 << 1))
                top += xml;
            else
                corner += xml;
        }
        const auto file = [](const QByteArray &body) {
            return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Transitions>\n" + body
                + "</Transitions>\n";
        };
        return writer.write(QStringLiteral("data/system/roughedge/lefttrans.xml"), file(left))
            && writer.write(QStringLiteral("data/system/roughedge/toptrans.xml"), file(top))
            && writer.write(QStringLiteral("data/system/roughedge/cornertrans.xml"), file(corner));
    }

    // One edge set for every pair of terrains, also those that do not meet
    // yet, so that borders painted later expand as well.
    static QByteArray edgeSetsXml()
    {
        // A comment cannot hold the options' "--": the command is in README.txt.
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<!-- Where two terrains meet, Over is drawn over Under. After painting "
                         "new borders,\n     expand this file again (see README.txt). -->\n"
                         "<EdgeSets>\n";
        for (std::size_t over = 1; over < layers.size(); ++over) {
            for (std::size_t under = 0; under < over; ++under)
                xml += edgeSetXml(layers[over], layers[under]);
        }
        return xml + "</EdgeSets>\n";
    }

    // Tiles 3000 and up, 32 per ordered pair of terrains: one per shape and a
    // second choice for each edge. Full is the over terrain's own tiles.
    static QByteArray edgeSetXml(int over, int under)
    {
        QByteArray xml = QByteArray("  <EdgeSet Name=\"") + terrains[over].name + "-over-"
            + terrains[under].name + "\" Over=\"" + QByteArray::number(over) + "\" Under=\""
            + QByteArray::number(under) + "\"";
        // Trees reach out of the forest.
        if (over == Forest && under == Grass)
            xml += " File=\"forest.xml\"";
        xml += ">\n";
        const int base = 3000 + (over * TerrainCount + under) * 32;
        for (int shape = 0; shape < edgeShapeCount; ++shape) {
            QByteArray tiles;
            if (shape == int(EdgeShape::Full)) {
                for (int v = 0; v < 3; ++v)
                    tiles += (v ? " " : "") + QByteArray::number(terrains[over].tileId + v);
            } else {
                tiles = QByteArray::number(base + shape);
            }
            if (shape >= int(EdgeShape::North) && shape <= int(EdgeShape::West))
                tiles += " " + QByteArray::number(base + 20 + shape);
            xml +=
                "    <" + edgeShapeName(EdgeShape(shape)).toLatin1() + " Tiles=\"" + tiles + "\"";
            // Shells in the bays of the shore.
            if (over == Sand && under == Water && shape >= int(EdgeShape::InnerNW)
                && shape <= int(EdgeShape::InnerSW))
                xml += " Statics=\"8000 8001 8002\"";
            xml += "/>\n";
        }
        return xml + "  </EdgeSet>\n";
    }

    // The transitions are the edge sets expanded over this map's patterns.
    bool writeEdgeSets(WorldWriter &writer) const
    {
        const QString edges = QStringLiteral("edges.xml");
        if (!writer.write(edges, edgeSetsXml()))
            return false;
        const EdgeSetFile file = readEdgeSetFile(writer.filePath(edges));
        if (!file.problems.isEmpty())
            return writer.fail(writer.filePath(edges), file.problems.constFirst().message);
        const EdgeExpansion expansion = expandEdgeSets(file.sets, &m_borderPatterns);
        for (const DesignerFile &transitions :
             edgeSetFiles(file.sets, expansion, QStringLiteral("data/transitions"), edges)) {
            if (!writer.write(transitions.path, transitions.contents))
                return false;
        }
        return true;
    }

    static QByteArray commonXml()
    {
        // Plain ground of a terrain: a choice of tiles, and a static set.
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<!-- Cells surrounded by their own terrain. -->\n<Transitions>\n";
        const QHash<int, QString> sets = {{Grass, "grass.xml"},
                                          {Forest, "forest.xml"},
                                          {Rock, "rocks.xml"},
                                          {Swamp, "swamp.xml"}};
        for (int t = 0; t < TerrainCount; ++t) {
            if (t == Water)
                continue;
            xml += "  <TransInfo HashKey=\"" + hexCode(t).repeated(9).toLatin1() + "\"";
            if (sets.contains(t))
                xml += " File=\"" + sets.value(t).toLatin1() + "\"";
            xml += ">\n    <MapTiles>";
            for (int v = 0; v < 3; ++v)
                xml += "<MapTile TileID=\"" + QByteArray::number(terrains[t].tileId + v)
                    + "\" AltIDMod=\"0\"/>";
            xml += "</MapTiles>\n  </TransInfo>\n";
        }
        return xml + "</Transitions>\n";
    }

    static QByteArray terrainXml()
    {
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<!-- Palette index of terrain.png to land tile; the tools name the "
                         "terrain by its Name. -->\n<Terrains>\n";
        for (int t = 0; t < TerrainCount; ++t)
            xml += "  <Terrain ID=\"" + QByteArray::number(t) + "\" TileID=\""
                + QByteArray::number(terrains[t].tileId) + "\""
                + (terrains[t].random ? " Random=\"True\"" : "") + " Name=\"" + terrains[t].name
                + "\"/>\n";
        return xml + "</Terrains>\n";
    }

    static QByteArray altitudeXml()
    {
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<!-- Palette index of altitude.png to altitude. -->\n<Altitudes>\n";
        for (int i = 0; i < altitudeLevels; ++i)
            xml += "  <Altitude Key=\"" + QByteArray::number(i) + "\" Altitude=\""
                + QByteArray::number(altitudeOfIndex(i)) + "\"/>\n";
        return xml + "</Altitudes>\n";
    }

    static bool writeStaticSets(WorldWriter &writer)
    {
        // Groups: weight, description, entries as tile, x, y, z.
        struct Entry
        {
            int tile, x, y, z;
        };
        struct Group
        {
            int freq;
            const char *description;
            QList<Entry> entries;
        };
        const auto setXml = [](int chance, const QList<Group> &groups) {
            QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StaticSet Chance=\""
                + QByteArray::number(chance) + "\">\n";
            for (const Group &group : groups) {
                xml += "  <Statics Freq=\"" + QByteArray::number(group.freq) + "\" Description=\""
                    + group.description + "\">\n";
                for (const Entry &e : group.entries)
                    xml += "    <Static TileID=\"" + QByteArray::number(e.tile) + "\" X=\""
                        + QByteArray::number(e.x) + "\" Y=\"" + QByteArray::number(e.y) + "\" Z=\""
                        + QByteArray::number(e.z) + "\" Hue=\"0\"/>\n";
                xml += "  </Statics>\n";
            }
            return xml + "</StaticSet>\n";
        };
        return writer.write(
                   QStringLiteral("data/statics/forest.xml"),
                   setXml(40,
                          {{5, "Oak", {{6000, 0, 0, 0}, {6001, 0, 0, 0}}},
                           {4, "Pine", {{6010, 0, 0, 0}}},
                           {2, "Oak with bush", {{6000, 0, 0, 0}, {6020, 1, 0, 0}}},
                           {1, "Grove", {{6010, 0, 0, 0}, {6011, 1, 0, 0}, {6010, 0, 1, 0}}}}))
            && writer.write(QStringLiteral("data/statics/rocks.xml"),
                            setXml(12,
                                   {{3, "Boulder", {{6100, 0, 0, 0}}},
                                    {1, "Rock pile", {{6101, 0, 0, 0}, {6102, 1, 1, 1}}}}))
            && writer.write(QStringLiteral("data/statics/grass.xml"),
                            setXml(6,
                                   {{4, "Tuft", {{6200, 0, 0, 0}}},
                                    {1, "Flowers", {{6210, 0, 0, 0}, {6211, 0, 1, 0}}}}))
            && writer.write(
                QStringLiteral("data/statics/swamp.xml"),
                setXml(15, {{2, "Reeds", {{6300, 0, 0, 0}}}, {1, "Dead tree", {{6310, 0, 0, 0}}}}));
    }

    // A structure tile file: a 4-byte header, then 12-byte records.
    static QByteArray structureTiles(const QList<std::array<int, 6>> &records)
    {
        QByteArray bytes(4, '\0');
        for (const auto &record : records) {
            for (int field : record) {
                char le[2];
                qToLittleEndian<quint16>(quint16(field), le);
                bytes.append(le, 2);
            }
        }
        return bytes;
    }

    bool writeStructures(WorldWriter &writer) const
    {
        // A 3 x 3 house around its anchor (1, 1), a well, and a watch tower
        // whose invisible foundation only shows with Invisible="True".
        QList<std::array<int, 6>> house;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                house.append({7000 + (x == 1 && y == 2 ? 1 : 0), x, y, 0, 1, 0});
        house.append({7010, 1, 1, 20, 1, 0});
        const QList<std::array<int, 6>> well = {{{7100, 0, 0, 0, 1, 0}}};
        const QList<std::array<int, 6>> tower = {
            {{7200, 0, 0, 0, 0, 0}}, {{7201, 0, 0, 0, 1, 0}}, {{7202, 0, 0, 30, 1, 0}}};

        // Placements on open grass, found from the seed.
        GlibcRandom random(m_options.seed ^ 0x5eedu);
        QByteArray placements;
        const char *files[] = {"structures/house.mul", "structures/well.mul",
                               "structures/tower.mul"};
        int placed = 0;
        for (int attempt = 0; attempt < 5000 && placed < 6; ++attempt) {
            const int x = 4 + random.next() % std::max(1, processedWidth() - 8);
            const int y = 4 + random.next() % std::max(1, processedHeight() - 8);
            if (!isOpenGrass(x, y))
                continue;
            placements += "  <MLT" + QByteArray(placed % 3 == 2 ? " Invisible=\"True\"" : "")
                + ">\n    <Location X=\"" + QByteArray::number(x) + "\" Y=\""
                + QByteArray::number(y) + "\" OffsetX=\"1\" OffsetY=\"1\"/>\n    <File>"
                + files[placed % 3] + "</File>\n  </MLT>\n";
            ++placed;
        }
        return writer.write(QStringLiteral("structures/house.mul"), structureTiles(house))
            && writer.write(QStringLiteral("structures/well.mul"), structureTiles(well))
            && writer.write(QStringLiteral("structures/tower.mul"), structureTiles(tower))
            && writer.write(QStringLiteral("structures/structures.xml"),
                            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<!-- Tile file paths are relative to the world directory: "
                            "generate from there. -->\n<Structures>\n"
                                + placements + "</Structures>\n");
    }

    bool isOpenGrass(int x, int y) const
    {
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx)
                if (m_terrain.pixelIndex(x + dx, y + dy) != Grass)
                    return false;
        return true;
    }

    static QByteArray settingsXml()
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!-- Open this world in the window with: mapgenerator PATH/mapgenerator.xml "
               "(relative paths start from this directory). -->\n"
               "<Settings>\n  <XML>data</XML>\n  <Terrain>terrain.png</Terrain>\n"
               "  <Altitude>altitude.png</Altitude>\n  <Destination>out</Destination>\n"
               "</Settings>\n";
    }

    QByteArray readme() const
    {
        QByteArray text = "Quillmoor starter world (" + QByteArray::number(m_options.width) + " x "
            + QByteArray::number(m_options.height) + ", seed " + QByteArray::number(m_options.seed)
            + ")\n\n"
              "terrain.png  palette index -> terrain, land tile id (data/system/terrain.xml)\n";
        for (int t = 0; t < TerrainCount; ++t)
            text += "  " + QByteArray::number(t) + "  "
                + QByteArray(terrains[t].name).leftJustified(7) + " #"
                + QColor(terrains[t].color).name().mid(1).toLatin1() + "  tile "
                + QByteArray::number(terrains[t].tileId) + "\n";
        text +=
            "\naltitude.png palette index i -> altitude 4 * i - 13 (data/system/altitude.xml);\n"
            "             water lies at index 2.\n\n"
            "Paint over the two images with these palettes, then generate from this directory\n"
            "(structure tile paths are relative to it):\n\n"
            "  mkdir -p out\n"
            "  mapgenerator-cli generate --data data --terrain terrain.png \\\n"
            "      --altitude altitude.png --dest out --random-art \\\n"
            "      --structures structures/structures.xml\n\n"
            "or, with out/ made as above, in the window, which this world's settings file\n"
            "fills in:\n\n"
            "  mapgenerator mapgenerator.xml\n\n"
            "Borders. Where terrains meet, a cell takes a transition tile chosen by the\n"
            "3 x 3 window of terrains around it. Its key (HashKey) is the nine palette\n"
            "indexes as two upper-case hex digits each, rows north to south, each row west\n"
            "to east. The cell marked X in\n\n"
            "  water water sand          00 00 01\n"
            "  water X=sand sand   is    00 01 01   HashKey 000001000101010101\n"
            "  sand  sand  sand          01 01 01\n\n"
            "The rough-edge files of data/system/roughedge/ are asked first, with the\n"
            "window around the cell's north-west (cornertrans.xml), west (lefttrans.xml)\n"
            "and north (toptrans.xml) neighbour.\n\n"
            "edges.xml says, for each pair of terrains, which one is drawn over the other\n"
            "and the tiles of each shape of their border (see the shapes in the\n"
            "generator's README). data/transitions/<over>-over-<under>/ holds that file\n"
            "expanded over this map's border patterns; common.xml gives plain ground a\n"
            "choice of tiles and names the static sets of data/statics/. Cliffs between\n"
            "rock and snow are rough-edge transitions (data/system/roughedge/). After\n"
            "painting new borders, see which lack a transition and expand the edge sets\n"
            "again:\n\n"
            "  mapgenerator-cli check-data --data data --terrain terrain.png\n"
            "  mapgenerator-cli expand-edges --edges edges.xml --out data/transitions \\\n"
            "      --terrain terrain.png --force\n";
        return text;
    }

    StarterWorldOptions m_options;
    QImage m_terrain;
    QImage m_altitude;
    QList<BorderPattern> m_borderPatterns;
    std::vector<Window> m_patterns;
};

} // namespace

QList<QRgb> starterTerrainColours()
{
    QList<QRgb> colours;
    for (const auto &kind : terrains)
        colours << kind.color;
    return colours;
}

QString starterWorldObstacle(const QString &directory)
{
    const QFileInfoList entries = QDir(directory).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    if (entries.isEmpty())
        return {};
    QStringList names;
    for (const QFileInfo &entry : entries.first(std::min<qsizetype>(entries.size(), 3)))
        names << entry.fileName() + (entry.isDir() ? QStringLiteral("/") : QString());
    if (entries.size() > names.size())
        names << QStringLiteral("%1 more").arg(entries.size() - names.size());
    const QString last = names.takeLast();
    const QString held = names.isEmpty() ? last : names.join(QStringLiteral(", ")) + " and " + last;
    return QStringLiteral("%1 is not empty: it holds %2; a starter world is written only into a "
                          "new or empty directory, so that nothing there is replaced")
        .arg(QDir::toNativeSeparators(directory), held);
}

bool writeStarterWorld(const QString &directory, const StarterWorldOptions &options,
                       QString *errorText)
{
    if (!QDir().mkpath(directory)) {
        if (errorText)
            *errorText = QStringLiteral("Cannot create the directory %1")
                             .arg(QDir::toNativeSeparators(directory));
        return false;
    }
    StarterWorld world(options);
    world.paint();
    return world.writeTo(directory, errorText);
}
