#pragma once

#include "engine/mappreview.h"

#include <QString>
#include <QTextStream>

class QSaveFile;

// Opens the preview's file before anything is drawn, so that a path that
// cannot be written fails before the work; a picture already there stays
// until savePreview() replaces it. False, after printing why on err.
bool openPreview(QSaveFile &file, QTextStream &err);

// Saves a rendered preview as PNG into the opened file; false, after
// printing why on err, when it was not drawn or cannot be saved.
bool savePreview(const MapPreview &preview, QSaveFile &file, QTextStream &err);

// Says where the preview went and lists the tile ids no terrain explains.
void printPreviewSummary(const MapPreview &preview, const QString &path, int scale,
                         QTextStream &stream);

// Lists tile ids that no terrain explains, one line each, the first few.
void printUnexplainedTiles(const QList<MapPreview::UnexplainedTile> &tiles, QTextStream &stream);
