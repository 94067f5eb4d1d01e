#include "terrainnames.h"

#include "xmldocument.h"

TerrainNames TerrainNames::load(const QString &terrainXmlPath)
{
    TerrainNames names;
    const XmlDocumentResult xml = readXmlDocument(terrainXmlPath);
    if (!xml.ok)
        return names;
    const QDomElement root = xml.document.documentElement();
    for (const QDomElement &terrain : descendantElements(root, QStringLiteral("Terrain"))) {
        // The index as the terrain table keys it: the low 8 bits.
        const auto index =
            static_cast<std::uint8_t>(terrain.attribute(QStringLiteral("ID")).toUShort());
        names.m_names[index] = terrain.attribute(QStringLiteral("Name")).simplified();
    }
    return names;
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
