#include "referencemodel.h"

#include <cstdlib>

namespace {

void append16(QByteArray &out, int value)
{
    out.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
}

void append32(QByteArray &out, qint32 value)
{
    append16(out, value & 0xffff);
    append16(out, (value >> 16) & 0xffff);
}

int wrap(int value)
{
    return qint8(quint8(value & 0xff));
}

} // namespace

ReferenceOutput referenceMap(MapTables tables, const QImage &terrain, const QImage &altitude,
                             unsigned seed, bool randomArt)
{
    std::srand(seed);
    ReferenceOutput out;
    const int blocksWide = terrain.width() / 8, blocksHigh = terrain.height() / 8;
    const auto inside = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < blocksWide * 8 && y < blocksHigh * 8;
    };
    const auto code = [&](int x, int y) {
        QString text = QString::number(terrain.pixelIndex(x, y), 16);
        if (text.size() == 1)
            text.prepend('0');
        return text.toUpper();
    };

    for (int bx = 0; bx < blocksWide; ++bx) {
        for (int by = 0; by < blocksHigh; ++by) {
            append32(out.map, bx * blocksHigh + by);
            QByteArray statics;
            const auto addStatic = [&](int tile, int x, int y, int z, int hue) {
                append16(statics, tile);
                statics.append(char(x)).append(char(y)).append(char(z));
                append16(statics, hue);
            };
            for (int k = 0; k < 8; ++k) {
                for (int l = 0; l < 8; ++l) {
                    const int x = bx * 8 + l, y = by * 8 + k;
                    const int a = altitude.pixelIndex(x, y), t = terrain.pixelIndex(x, y);
                    const QString own = code(x, y);
                    const auto key = [&](int cx, int cy) {
                        QString text;
                        for (int dy = -1; dy <= 1; ++dy)
                            for (int dx = -1; dx <= 1; ++dx)
                                text += inside(cx + dx, cy + dy) ? code(cx + dx, cy + dy) : own;
                        return text;
                    };
                    const QString mainKey = key(x, y), uniformKey = own.repeated(9);

                    if (!tables.AltitudeTable.contains(a))
                        tables.AltitudeTable.insert(a, 0);
                    const int base = tables.AltitudeTable.value(a);
                    if (!tables.TerrainRandomTable.contains(t))
                        tables.TerrainRandomTable.insert(t, false);
                    int flag = tables.TerrainRandomTable.value(t);
                    int z = wrap(base + flag * (std::rand() % 6));
                    if (!tables.TerrainTable.contains(t))
                        tables.TerrainTable.insert(t, 0);
                    int tile = tables.TerrainTable.value(t);

                    const TransitionInfo *hit = nullptr;
                    if (tables.CornerTransitionTable.contains(key(x - 1, y - 1))) {
                        hit = &tables.CornerTransitionTable[key(x - 1, y - 1)];
                        flag = 0;
                    } else if (tables.LeftTransitionTable.contains(key(x - 1, y))) {
                        hit = &tables.LeftTransitionTable[key(x - 1, y)];
                        flag = 0;
                    } else if (tables.TopTransitionTable.contains(key(x, y - 1))) {
                        hit = &tables.TopTransitionTable[key(x, y - 1)];
                        flag = 0;
                    } else if (tables.TransitionTable.contains(mainKey)) {
                        hit = &tables.TransitionTable[mainKey];
                        if (mainKey != uniformKey)
                            flag = 0;
                    }
                    bool hasStatic = false;
                    int staticTile = 0, staticZ = 0;
                    if (hit && !hit->mapTiles.isEmpty()) {
                        const TransitionTile chosen =
                            hit->mapTiles[std::rand() % hit->mapTiles.size()];
                        const int r2 = std::rand() % 4;
                        const int m = r2 == 0 ? -2 : r2 == 3 ? 2 : 0;
                        tile = chosen.tileId;
                        z = wrap(chosen.altIdMod + base + flag * m);
                    }
                    if (hit && !hit->staticTiles.isEmpty()) {
                        const TransitionTile chosen =
                            hit->staticTiles[std::rand() % hit->staticTiles.size()];
                        hasStatic = true;
                        staticTile = chosen.tileId;
                        staticZ = wrap(base + chosen.altIdMod);
                    }
                    append16(out.map, tile);
                    out.map.append(char(z));
                    if (hasStatic)
                        addStatic(staticTile, l, k, staticZ, 0);

                    if (!randomArt || !tables.TransitionFileTable.contains(mainKey))
                        continue;
                    const QString name = tables.TransitionFileTable.value(mainKey);
                    if (!tables.StaticSetTable.contains(name))
                        continue;
                    const StaticSet set = tables.StaticSetTable.value(name);
                    if (std::rand() % 100 >= set.chance)
                        continue;
                    QList<int> weighted;
                    for (int g = 0; g < set.groups.size(); ++g)
                        for (int i = 0; i < set.groups[g].freq; ++i)
                            weighted << g;
                    if (weighted.isEmpty())
                        continue;
                    const StaticGroup group = set.groups[weighted[std::rand() % weighted.size()]];
                    bool fits = true;
                    for (const StaticEntry &entry : group.entries)
                        fits = fits && l + entry.x >= 0 && l + entry.x <= 7 && k + entry.y >= 0
                            && k + entry.y <= 7;
                    if (!fits)
                        continue;
                    for (const StaticEntry &entry : group.entries) {
                        if (entry.tileId == 0)
                            out.trace << QStringLiteral("UNUSED found in set ") + name;
                        addStatic(entry.tileId, l + entry.x, k + entry.y, wrap(z + entry.z),
                                  entry.hue);
                    }
                }
            }
            append32(out.index, statics.isEmpty() ? -1 : qint32(out.statics.size()));
            append32(out.index, qint32(statics.size()));
            append32(out.index, 0);
            out.statics += statics;
        }
    }
    return out;
}
