#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>

// One land or static tile that a transition rule offers.
struct TransitionTile
{
    std::uint16_t tileId = 0;
    std::int8_t altIdMod = 0;

    bool operator==(const TransitionTile &) const = default;
};

// One transition definition: the tiles that replace a cell whose
// surroundings match the definition's key.
struct TransitionInfo
{
    QList<TransitionTile> mapTiles;
    QList<TransitionTile> staticTiles;

    bool operator==(const TransitionInfo &) const = default;
};

// Which table a definition file fills. The values are those of the data
// files' documentation; Left, Top and Corner select a rough-edge table.
enum class TransitionKind : int { General = 0, Left = 1, Top = 2, Corner = 3 };

// What the messages call a definition of the kind: "transition", "left
// rough-edge transition" and so on.
inline QString transitionLabel(TransitionKind kind)
{
    switch (kind) {
    case TransitionKind::General:
        break;
    case TransitionKind::Left:
        return QStringLiteral("left rough-edge transition");
    case TransitionKind::Top:
        return QStringLiteral("top rough-edge transition");
    case TransitionKind::Corner:
        return QStringLiteral("corner rough-edge transition");
    }
    return QStringLiteral("transition");
}

// Keyed by the HashKey text exactly as written in the definition file.
using TransitionHash = QHash<QString, TransitionInfo>;
