#pragma once

#include <QHashFunctions>
#include <QString>

#include <cstdint>
#include <optional>

// A transition key packed into 72 bits: the nine terrain palette indexes of
// a 3 x 3 window, row by row from north to south, west to east within a row.
// Its text form is each index as two upper-case hexadecimal digits.
struct PackedKey
{
    std::uint64_t head = 0; // the first eight indexes, the first in the lowest byte
    std::uint8_t tail = 0; // the ninth

    bool operator==(const PackedKey &) const = default;

    // The key of a HashKey text. Only text that a window can produce
    // (exactly 18 upper-case hexadecimal digits) has one; any other text
    // never matches a window.
    static std::optional<PackedKey> fromText(const QString &text);
    static PackedKey uniform(std::uint8_t index);

    // The index at position 0 to 8 of the window.
    std::uint8_t at(int position) const
    {
        return position == 8 ? tail : static_cast<std::uint8_t>(head >> (8 * position));
    }
    // The HashKey text that matches this key.
    QString toText() const;
};

inline size_t qHash(PackedKey key, size_t seed = 0)
{
    return qHashMulti(seed, key.head, key.tail);
}
