#include "previewwriter.h"

#include "engine/mappreview.h"

#include <QDir>
#include <QImageWriter>
#include <QSaveFile>

namespace {
// More lines would bury the summary; the rest are counted.
constexpr int listedTiles = 10;
} // namespace

namespace {
bool cannotWrite(const QSaveFile &file, const QString &reason, QTextStream &err)
{
    err << "error: the preview cannot be written to " << QDir::toNativeSeparators(file.fileName())
        << " (" << reason << "); choose a writable path ending in .png" << Qt::endl;
    return false;
}
} // namespace

bool openPreview(QSaveFile &file, QTextStream &err)
{
    return file.open(QIODevice::WriteOnly) || cannotWrite(file, file.errorString(), err);
}

bool savePreview(const MapPreview &preview, QSaveFile &file, QTextStream &err)
{
    if (preview.image.isNull()) {
        err << "error: no preview drawn: " << preview.errorText << Qt::endl;
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(preview.image))
        return cannotWrite(file, writer.errorString(), err);
    return file.commit() || cannotWrite(file, file.errorString(), err);
}

void printPreviewSummary(const MapPreview &preview, const QString &path, int scale,
                         QTextStream &stream)
{
    stream << "Preview: " << QDir::toNativeSeparators(path) << ", " << preview.image.width()
           << " x " << preview.image.height() << " pixels for " << preview.blocksWide << " x "
           << preview.blocksHigh << " blocks";
    if (scale > 1)
        stream << " (" << scale << " x " << scale << " cells a pixel)";
    stream << ", " << preview.cellsWithStatics << " cells with statics\n";
    qint64 cells = 0;
    for (const auto &tile : preview.unexplainedTiles)
        cells += tile.cells;
    if (cells > 0)
        stream << cells << " cells in magenta: their tile ids belong to no terrain of the data "
               << "directory\n";
    printUnexplainedTiles(preview.unexplainedTiles, stream);
    stream.flush();
}

void printUnexplainedTiles(const QList<MapPreview::UnexplainedTile> &tiles, QTextStream &stream)
{
    for (qsizetype i = 0; i < tiles.size() && i < listedTiles; ++i) {
        const auto &tile = tiles[i];
        stream << "  tile id " << tile.tileId << ": " << tile.cells << " cells, first at ("
               << tile.firstCell.x() << ", " << tile.firstCell.y() << ")\n";
    }
    if (tiles.size() > listedTiles)
        stream << "  and " << tiles.size() - listedTiles << " more tile ids\n";
}
