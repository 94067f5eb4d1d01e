#include "engine/bmpreader.h"

#include <QBuffer>

#include <cstdint>

// The whole input is a BMP file. The decoder either gives an 8-bit image of
// the size the file declares, or an error.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char *>(data), qsizetype(size));
    buffer.open(QIODevice::ReadOnly);
    BmpReader::readsIndexes(buffer);
    BmpReader reader;
    // A small limit keeps every run fast; larger sizes take the same paths.
    const QImage image = reader.read(buffer, 1 << 20);
    if (image.isNull() == reader.errorString().isEmpty())
        __builtin_trap();
    if (!image.isNull() && image.format() != QImage::Format_Indexed8)
        __builtin_trap();
    return 0;
}
