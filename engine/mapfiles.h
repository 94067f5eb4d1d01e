#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// Record sizes and naming of the three map files.
namespace MapFiles {

constexpr int cellsPerBlockSide = 8;
constexpr int cellsPerBlock = cellsPerBlockSide * cellsPerBlockSide;
constexpr int mapCellSize = 3;
constexpr int mapBlockSize = 4 + cellsPerBlock * mapCellSize;
constexpr int staticItemSize = 7;
constexpr int indexEntrySize = 12;

// The N of map<N>.mul: it depends on the map's height in blocks alone.
int mapNumber(int blocksHigh);
// The height in blocks that a map number stands for; 0 when the number does
// not say (map 0 is any other height).
int blocksHigh(int mapNumber);
// The N of every map<N>.mul file in the directory, ascending.
QList<int> mapNumbersIn(const QString &destination);

enum class Kind { Map, Index, Statics };
// The destination text used exactly as given, followed by "/map<N>.mul" and
// so on: a destination ending in a separator gives two of them.
QString path(const QString &destination, Kind kind, int mapNumber);

// Writes one 3-byte land cell of a map block, little-endian.
inline void writeMapCell(std::uint8_t *out, std::uint16_t tileId, std::int8_t z)
{
    out[0] = static_cast<std::uint8_t>(tileId);
    out[1] = static_cast<std::uint8_t>(tileId >> 8);
    out[2] = static_cast<std::uint8_t>(z);
}

// Appends one 7-byte static record, little-endian.
inline void appendStaticItem(std::uint8_t *out, std::uint16_t tileId, std::uint8_t x,
                             std::uint8_t y, std::int8_t z, std::uint16_t hue)
{
    out[0] = static_cast<std::uint8_t>(tileId);
    out[1] = static_cast<std::uint8_t>(tileId >> 8);
    out[2] = x;
    out[3] = y;
    out[4] = static_cast<std::uint8_t>(z);
    out[5] = static_cast<std::uint8_t>(hue);
    out[6] = static_cast<std::uint8_t>(hue >> 8);
}

} // namespace MapFiles
