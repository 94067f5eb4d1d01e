#pragma once

#include <QByteArray>
#include <QHash>

// Block number -> the static records of the structures stamped into that
// block, 7 bytes each exactly as they stand in the statics file, in stamping
// order. A block without structure objects has no entry.
using StructureStatics = QHash<int, QByteArray>;
