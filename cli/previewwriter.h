#pragma once

#include <QString>
#include <QTextStream>

struct MapPreview;

// Saves a rendered preview as PNG; false, after printing why on err, when
// it was not drawn or cannot be saved.
bool savePreview(const MapPreview &preview, const QString &path, QTextStream &err);

// Says where the preview went and lists the tile ids no terrain explains.
void printPreviewSummary(const MapPreview &preview, const QString &path, int scale,
                         QTextStream &stream);
