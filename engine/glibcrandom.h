#pragma once

#include <array>
#include <cstdint>

// The GNU C library's srand()/rand() (its additive feedback generator with
// 31 words of state), reproduced draw for draw so that a seed gives the same
// map on every platform and with every C library.
class GlibcRandom
{
public:
    static constexpr int maximum = 2147483647;

    explicit GlibcRandom(std::uint32_t seed = 1) { this->seed(seed); }

    // Same as srand(seed); seed 0 behaves as seed 1.
    void seed(std::uint32_t seed);

    // Same as rand(): a value from 0 to maximum.
    int next()
    {
        m_state[m_front] += m_state[m_rear];
        const int result = static_cast<int>(m_state[m_front] >> 1);
        m_front = m_front + 1 == degree ? 0 : m_front + 1;
        m_rear = m_rear + 1 == degree ? 0 : m_rear + 1;
        return result;
    }

private:
    static constexpr int degree = 31;
    static constexpr int separation = 3;

    std::array<std::uint32_t, degree> m_state {};
    int m_front = separation;
    int m_rear = 0;
};
