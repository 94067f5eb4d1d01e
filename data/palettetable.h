#pragma once

#include <array>
#include <cstdint>

// A table keyed by an 8-bit palette index. It behaves like a hash keyed by
// the index (a key holds one value, inserting replaces, lookups tell whether
// a key is present), but lookups in the per-cell loop are a plain array read.
template<typename Value> class PaletteTable
{
public:
    bool contains(std::uint8_t index) const { return m_present[index]; }
    // The stored value; a default-constructed one for an absent key.
    Value value(std::uint8_t index) const { return m_values[index]; }

    void insert(std::uint8_t index, Value value)
    {
        m_values[index] = value;
        m_present[index] = true;
    }

    // Enters every index that other holds, with its value.
    void insertAll(const PaletteTable &other)
    {
        for (int index = 0; index < 256; ++index) {
            if (other.m_present[index])
                insert(std::uint8_t(index), other.m_values[index]);
        }
    }

    int size() const
    {
        int count = 0;
        for (bool present : m_present)
            count += present;
        return count;
    }
    bool isEmpty() const { return size() == 0; }

    bool operator==(const PaletteTable &) const = default;

private:
    std::array<Value, 256> m_values {};
    std::array<bool, 256> m_present {};
};
