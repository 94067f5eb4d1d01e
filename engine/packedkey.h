#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// A transition key packed into 72 bits: the nine terrain palette indexes of
// a 3 x 3 window, row by row from north to south, west to east within a row.
// Its text form is each index as two upper-case hexadecimal digits.
struct PackedKey
{
    std::uint64_t head = 0; // the first eight indexes, the first in the top byte
    std::uint8_t tail = 0; // the ninth

    bool operator==(const PackedKey &) const = default;

    // The key of a HashKey text. Only text that a window can produce
    // (exactly 18 upper-case hexadecimal digits) has one; any other text
    // never matches a window.
    static std::optional<PackedKey> fromText(const QString &text);
    static PackedKey uniform(std::uint8_t index);
};
