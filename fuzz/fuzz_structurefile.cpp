#include "data/maptables.h"
#include "data/structurefile.h"
#include "engine/paletteimage.h"
#include "fuzzsupport.h"

#include <QImage>

namespace {
// A 64 x 64 altitude image whose palette index is x + y.
PaletteImage altitudeImage()
{
    QImage image(64, 64, QImage::Format_Indexed8);
    image.setColorCount(256);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x)
            image.scanLine(y)[x] = static_cast<uchar>(x + y);
    }
    return PaletteImage::fromImage(image);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::initialize();
    return 0;
}

// The structure file, then the tile file "tile.mul" that it may name.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const PaletteImage altitude = altitudeImage();
    const QList<QByteArray> parts = FuzzSupport::sections(data, size, 2);
    const QString path = FuzzSupport::scratchPath(QStringLiteral("structures.xml"));
    FuzzSupport::writeFile(path, parts[0]);
    FuzzSupport::writeFile(FuzzSupport::scratchPath(QStringLiteral("tile.mul")), parts[1]);
    MapTables tables;
    StructureStatics statics;
    StructureStamper stamper(tables, statics, altitude, 8, 8, [](const QString &) {});
    stamper.loadStructureFile(path);
    qint64 bytes = 0;
    for (auto it = statics.cbegin(); it != statics.cend(); ++it) {
        if (it.key() < 0 || it.key() >= 64 || it.value().size() % 7 != 0)
            __builtin_trap();
        bytes += it.value().size();
    }
    if (bytes != stamper.objectsStamped() * 7)
        __builtin_trap();
    return 0;
}
