#include "data/maptables.h"
#include "data/structurefile.h"
#include "engine/paletteimage.h"
#include "fuzzsupport.h"

#include <QImage>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::initialize();
    // Placements inside, on the edges of and far outside a 40 x 24 map.
    FuzzSupport::writeFile(
        FuzzSupport::scratchPath(QStringLiteral("structures.xml")),
        "<Structures>"
        "<MLT><Location X='10' Y='5' OffsetX='2' OffsetY='3'/><File>tile.mul</File></MLT>"
        "<MLT Invisible='True'><Location X='39' Y='23'/><File>tile.mul</File></MLT>"
        "<MLT><Location X='-2147483648' Y='2147483647' OffsetX='2147483647'/>"
        "<File>tile.mul</File></MLT>"
        "</Structures>");
    return 0;
}

// The whole input is the binary structure tile file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const PaletteImage altitude = [] {
        QImage image(40, 24, QImage::Format_Indexed8);
        image.setColorCount(256);
        image.fill(7);
        return PaletteImage::fromImage(image);
    }();
    FuzzSupport::writeFile(FuzzSupport::scratchPath(QStringLiteral("tile.mul")),
                           FuzzSupport::bytes(data, size));
    MapTables tables;
    StructureStatics statics;
    qint64 traced = 0;
    StructureStamper stamper(tables, statics, altitude, 5, 3,
                             [&traced](const QString &) { ++traced; });
    stamper.loadStructureFile(FuzzSupport::scratchPath(QStringLiteral("structures.xml")));
    // Every whole record is traced once per placement; nothing else is.
    const qint64 records = size < 16 ? 0 : qint64(size - 4) / 12;
    if (traced != 3 * records || stamper.objectsStamped() + stamper.objectsOffMap() > traced)
        __builtin_trap();
    for (auto it = statics.cbegin(); it != statics.cend(); ++it) {
        if (it.key() < 0 || it.key() >= 15)
            __builtin_trap();
    }
    return 0;
}
