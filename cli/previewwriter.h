#pragma once

#include <QString>
#include <QTextStream>

#include "engine/mappreview.h"

// Saves a rendered preview as PNG; false, after printing why on err, when
// it was not drawn or cannot be saved.
bool savePreview(const MapPreview &preview, const QString &path, QTextStream &err);

// Says where the preview went and lists the tile ids no terrain explains.
void printPreviewSummary(const MapPreview &preview, const QString &path, int scale,
                         QTextStream &stream);

// Lists tile ids that no terrain explains, one line each, the first few.
void printUnexplainedTiles(const QList<MapPreview::UnexplainedTile> &tiles, QTextStream &stream);
