#include "altitudetable.h"

#include "definitionreaders.h"
#include "maptables.h"

#include <QList>

using namespace Qt::StringLiterals;

void loadAltitudeTable(MapTables &tables, const QString &path, ReadPoll *poll)
{
    QList<std::pair<std::uint8_t, std::int8_t>> altitudes;
    const auto read = [&](const XmlElement &altitude) {
        const auto key = static_cast<std::uint8_t>(altitude.value("Key"_L1).toUShort());
        // The low 8 bits of the 16-bit value, read as two's complement.
        const auto value = static_cast<std::int8_t>(altitude.value("Altitude"_L1).toShort());
        altitudes.append({key, value});
    };
    if (!readPaletteFile(path, "Altitude"_L1, read, poll).ok)
        return;
    for (const auto &[key, value] : std::as_const(altitudes))
        tables.AltitudeTable.insert(key, value);
}
