#include "terrainnames.h"

#include "definitionreaders.h"

using namespace Qt::StringLiterals;

TerrainNames TerrainNames::load(const QString &terrainXmlPath)
{
    TerrainNames read;
    const auto readName = [&](const XmlElement &terrain) {
        // The index as the terrain table keys it: the low 8 bits.
        const auto index = static_cast<std::uint8_t>(terrain.value("ID"_L1).toUShort());
        read.m_names[index] = terrain.value("Name"_L1).toString().simplified();
    };
    if (!readPaletteFile(terrainXmlPath, "Terrain"_L1, readName, nullptr).ok)
        return {};
    return read;
}

QString TerrainNames::label(std::uint8_t index) const
{
    return m_names[index].isEmpty() ? QString::number(index) : m_names[index];
}

QString TerrainNames::list(const QList<std::uint8_t> &indexes) const
{
    QStringList labels;
    for (std::uint8_t index : indexes)
        labels << label(index);
    if (labels.size() < 2)
        return labels.join(QString());
    const QString last = labels.takeLast();
    return labels.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

QStringList TerrainNames::drawWindow(PackedKey key) const
{
    qsizetype width = 0;
    for (int i = 0; i < 9; ++i)
        width = std::max(width, label(key.at(i)).size());
    QStringList rows;
    for (int row = 0; row < 3; ++row) {
        QStringList cells;
        for (int column = 0; column < 3; ++column)
            cells << label(key.at(3 * row + column)).leftJustified(width);
        rows << cells.join(QLatin1Char(' ')).trimmed();
    }
    return rows;
}
