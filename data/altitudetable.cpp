#include "altitudetable.h"

#include "maptables.h"
#include "xmldocument.h"

void loadAltitudeTable(MapTables &tables, const QString &path)
{
    const XmlDocumentResult xml = readXmlDocument(path);
    if (!xml.ok)
        return;
    const QDomElement root = xml.document.documentElement();
    for (const QDomElement &altitude : descendantElements(root, QStringLiteral("Altitude"))) {
        const auto key =
            static_cast<std::uint8_t>(altitude.attribute(QStringLiteral("Key")).toUShort());
        // The low 8 bits of the 16-bit value, read as two's complement.
        const auto value =
            static_cast<std::int8_t>(altitude.attribute(QStringLiteral("Altitude")).toShort());
        tables.AltitudeTable.insert(key, value);
    }
}
