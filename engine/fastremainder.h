#pragma once

#include <cstdint>

// The remainder of a 32-bit number by a divisor fixed in advance, with two
// multiplications instead of a division (Lemire, Kaser and Kurz, "Faster
// remainder by direct computation", 2019). Exact for every 32-bit number
// and divisor. A division is the slowest step of drawing a tile in the
// per-cell loop, and the tile lists' lengths are known before the pass.
class FastRemainder
{
public:
    FastRemainder() = default;
    explicit FastRemainder(std::uint32_t divisor)
        : m_divisor(divisor), m_multiplier(divisor ? ~std::uint64_t(0) / divisor + 1 : 0)
    {
    }

    std::uint32_t divisor() const { return m_divisor; }

    // number % divisor(); the divisor must not be 0.
    std::uint32_t of(std::uint32_t number) const
    {
        const std::uint64_t fraction = m_multiplier * number;
        return static_cast<std::uint32_t>((static_cast<unsigned __int128>(fraction) * m_divisor)
                                          >> 64);
    }

private:
    std::uint32_t m_divisor = 0;
    std::uint64_t m_multiplier = 0;
};
