#include "glibcrandom.h"

#include <algorithm>

void GlibcRandom::seed(std::uint32_t seed)
{
    if (seed == 0)
        seed = 1;
    // The first 31 words: the seed, then a Park-Miller step computed in
    // Schrage's way on a signed 32-bit word, as the C library does.
    std::array<std::uint32_t, 344> words {};
    std::int32_t word = static_cast<std::int32_t>(seed);
    words[0] = static_cast<std::uint32_t>(word);
    for (std::size_t i = 1; i < lag; ++i) {
        const std::int64_t hi = word / 127773;
        const std::int64_t lo = word % 127773;
        std::int64_t next = 16807 * lo - 2836 * hi;
        if (next < 0)
            next += 2147483647;
        word = static_cast<std::int32_t>(next);
        words[i] = static_cast<std::uint32_t>(word);
    }
    // Words 31 to 33 repeat the first three; the feedback starts at 34. The
    // C library discards the draws of words 34 to 343.
    for (std::size_t i = lag; i < 34; ++i)
        words[i] = words[i - lag];
    for (std::size_t i = 34; i < words.size(); ++i)
        words[i] = words[i - lag] + words[i - 3];
    // Keep the last 31 words where refill() expects the end of a batch.
    std::copy(words.end() - lag, words.end(), m_words.end() - lag);
    m_next = m_words.size();
}

void GlibcRandom::refill()
{
    std::copy(m_words.end() - lag, m_words.end(), m_words.begin());
    // The last three words ride in registers rather than going through
    // memory just after being stored.
    std::uint32_t third = m_words[lag - 3], second = m_words[lag - 2], last = m_words[lag - 1];
    for (std::size_t i = lag; i < m_words.size(); ++i) {
        const std::uint32_t word = m_words[i - lag] + third;
        m_words[i] = word;
        third = second;
        second = last;
        last = word;
    }
    m_next = lag;
}
