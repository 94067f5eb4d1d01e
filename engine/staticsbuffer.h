#pragma once

#include "mapfiles.h"

#include <cstdint>
#include <cstring>
#include <vector>

// The static records of one block, appended cell by cell. Appending is the
// hottest write of the pass, so it is a bounds check and seven stores.
class StaticsBuffer
{
public:
    StaticsBuffer() : m_bytes(1024) { }

    void clear() { m_size = 0; }
    const std::uint8_t *data() const { return m_bytes.data(); }
    std::size_t size() const { return m_size; }

    void append(std::uint16_t tileId, int x, int y, std::int8_t z, std::uint16_t hue)
    {
        if (m_size + MapFiles::staticItemSize > m_bytes.size())
            m_bytes.resize(m_bytes.size() * 2);
        MapFiles::appendStaticItem(m_bytes.data() + m_size, tileId, static_cast<std::uint8_t>(x),
                                   static_cast<std::uint8_t>(y), z, hue);
        m_size += MapFiles::staticItemSize;
    }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_size = 0;
};
