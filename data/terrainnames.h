#pragma once

#include "engine/packedkey.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

// What a designer calls each terrain palette index, for the messages and
// drawings of the tools: the Name attribute of its Terrain in
// system/terrain.xml (which the generator itself ignores), or the index.
class TerrainNames
{
public:
    TerrainNames() = default;
    // Reads the Terrain elements of the file, the last one of an index
    // winning as in the terrain table; a file that cannot be read names none.
    static TerrainNames load(const QString &terrainXmlPath);

    void setName(std::uint8_t index, const QString &name) { m_names[index] = name; }
    QString label(std::uint8_t index) const;
    // "water and sand", "water, sand and grass".
    QString list(const QList<std::uint8_t> &indexes) const;
    // The 3 x 3 window of the key as three rows of labels, north first,
    // columns aligned.
    QStringList drawWindow(PackedKey key) const;

private:
    std::array<QString, 256> m_names;
};
