#pragma once

#include <QString>

#include <optional>

// What verifyMapFiles found in a map, index and statics file.
struct MapVerification
{
    struct Problem
    {
        QString file;
        // -1 when the problem belongs to no single block or byte.
        qint64 block = -1;
        qint64 byteOffset = -1;
        QString message;

        // "FILE, block B, byte O: MESSAGE", leaving out what is not known.
        QString text() const;
    };

    int mapNumber = 0;
    // 0 when neither the map number nor the caller says.
    int blocksHigh = 0;
    qint64 blocks = 0;
    qint64 statics = 0;
    // The first problem, in file and then block order; none when the files
    // are sound.
    std::optional<Problem> problem;
};

// Checks everything a reader of map<N>.mul, staidx<N>.mul and statics<N>.mul
// in destination relies on: whole records, block headers 0 to n-1 in order,
// index entries (-1, 0, 0) or a run of whole statics inside the statics file,
// each following the previous one without gap, and every static inside its
// block; and that no pass died while it replaced them. blocksHigh, when not
// 0, overrides the height the map number implies and lets the check see
// that the blocks make whole columns.
MapVerification verifyMapFiles(const QString &destination, int mapNumber, int blocksHigh = 0);

// Why a map that verifyMapFiles() checked cannot be read whole: a problem in
// its files, a height in blocks that is not known, or no blocks at all.
// Empty when it can.
QString unreadableReason(const MapVerification &verification);
