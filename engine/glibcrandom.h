#pragma once

#include "fastremainder.h"

#include <array>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

// The GNU C library's srand()/rand() (its additive feedback generator with
// 31 words of state), reproduced draw for draw so that a seed gives the same
// map on every platform and with every C library.
//
// Word i of the generator's sequence is word i - 31 plus word i - 3 (modulo
// 2^32) and each draw is a word shifted right by one. Words are made a batch
// at a time, which keeps a draw in the per-cell loop to a load and a shift.
class GlibcRandom
{
public:
    static constexpr int maximum = 2147483647;

    // Makes the words that growing a Words vector adds without zeroing
    // them first, so a resize leaves them indeterminate: extend() writes
    // every one right after, and the zeroing cost the planning thread
    // about a third of the time of making them.
    template<typename T> struct UninitialisedAllocator : std::allocator<T>
    {
        template<typename U> struct rebind
        {
            using other = UninitialisedAllocator<U>;
        };
        template<typename U> void construct(U *at) noexcept { ::new (static_cast<void *>(at)) U; }
        template<typename U, typename... Arguments>
        void construct(U *at, Arguments &&...arguments) noexcept(
            std::is_nothrow_constructible_v<U, Arguments...>)
        {
            ::new (static_cast<void *>(at)) U(std::forward<Arguments>(arguments)...);
        }
    };
    using Words = std::vector<std::uint32_t, UninitialisedAllocator<std::uint32_t>>;

    explicit GlibcRandom(std::uint32_t seed = 1) { this->seed(seed); }

    // Same as srand(seed); seed 0 behaves as seed 1.
    void seed(std::uint32_t seed);

    // Same as rand(): a value from 0 to maximum.
    int next()
    {
        if (m_next == m_words.size())
            refill();
        return static_cast<int>(m_words[m_next++] >> 1);
    }

    // A draw reduced to n values by its remainder, next() % n. Draws are
    // never negative, so the unsigned remainder is the same number and
    // cheaper to compute.
    int nextBelow(unsigned n) { return static_cast<int>(static_cast<unsigned>(next()) % n); }
    int nextBelow(const FastRemainder &n) { return static_cast<int>(n.of(std::uint32_t(next()))); }

    // Draws read straight from words that the caller keeps (see suspend()):
    // no refill check, and the position can stay in a register.
    class Draws
    {
    public:
        explicit Draws(const std::uint32_t *words) : m_at(words) { }
        int next() { return static_cast<int>(*m_at++ >> 1); }
        int nextBelow(unsigned n) { return static_cast<int>(static_cast<unsigned>(next()) % n); }
        int nextBelow(const FastRemainder &n)
        {
            return static_cast<int>(n.of(std::uint32_t(next())));
        }
        // Passes over draws whose values are not needed.
        void skip(std::size_t count) { m_at += count; }

    private:
        const std::uint32_t *m_at;
    };

    // For a loop that keeps the words it draws: moves the words not yet
    // drawn, after the 31 before them, to the end of words; returns where
    // the first of them now is. Until resume(), the generator is not to be
    // used.
    std::size_t suspend(Words &words);
    // Appends count words of the sequence to words, which must end with at
    // least 31 words of it.
    static void extend(Words &words, std::size_t count);
    // Goes on with words[next] as the next draw; the words after it are
    // made again from the 31 before it.
    void resume(const Words &words, std::size_t next);

private:
    static constexpr std::size_t lag = 31;
    static constexpr std::size_t batch = 1024;

    // Makes a new batch after the last 31 words, which move to the front.
    void refill();

    // The 31 words before the batch, then the batch itself.
    std::array<std::uint32_t, lag + batch> m_words {};
    std::size_t m_next = lag + batch;
};
