#include "glibcrandom.h"

void GlibcRandom::seed(std::uint32_t seed)
{
    if (seed == 0)
        seed = 1;
    // The C library keeps the seed in a signed 32-bit word and fills the
    // state with a Park-Miller step computed in Schrage's way.
    std::int32_t word = static_cast<std::int32_t>(seed);
    m_state[0] = static_cast<std::uint32_t>(word);
    for (int i = 1; i < degree; ++i) {
        const std::int64_t hi = word / 127773;
        const std::int64_t lo = word % 127773;
        std::int64_t next = 16807 * lo - 2836 * hi;
        if (next < 0)
            next += 2147483647;
        word = static_cast<std::int32_t>(next);
        m_state[i] = static_cast<std::uint32_t>(word);
    }
    m_front = separation;
    m_rear = 0;
    // The first 310 outputs are discarded, as the C library does.
    for (int i = 0; i < degree * 10; ++i)
        next();
}
