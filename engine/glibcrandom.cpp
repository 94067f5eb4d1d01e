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

namespace {

// Makes words[from] to words[end - 1] from the words before them. Words i,
// i + 1 and i + 2 depend on words three places back only, so three at a
// time, each chain in a register of its own.
void makeWords(std::uint32_t *words, std::size_t from, std::size_t end)
{
    constexpr std::size_t lag = 31;
    std::uint32_t a = words[from - 3], b = words[from - 2], c = words[from - 1];
    std::size_t i = from;
    for (; i + 3 <= end; i += 3) {
        a += words[i - lag];
        b += words[i + 1 - lag];
        c += words[i + 2 - lag];
        words[i] = a;
        words[i + 1] = b;
        words[i + 2] = c;
    }
    for (; i < end; ++i)
        words[i] = words[i - lag] + words[i - 3];
}

} // namespace

void GlibcRandom::refill()
{
    std::copy(m_words.end() - lag, m_words.end(), m_words.begin());
    makeWords(m_words.data(), lag, m_words.size());
    m_next = lag;
}

std::size_t GlibcRandom::suspend(Words &words)
{
    const std::size_t start = words.size();
    words.insert(words.end(), m_words.begin() + std::ptrdiff_t(m_next - lag), m_words.end());
    return start + lag;
}

void GlibcRandom::extend(Words &words, std::size_t count)
{
    const std::size_t from = words.size();
    words.resize(from + count);
    makeWords(words.data(), from, words.size());
}

void GlibcRandom::resume(const Words &words, std::size_t next)
{
    std::copy(words.begin() + std::ptrdiff_t(next - lag), words.begin() + std::ptrdiff_t(next),
              m_words.end() - lag);
    m_next = m_words.size();
}
