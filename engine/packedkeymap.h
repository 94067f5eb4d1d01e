#pragma once

#include "packedkey.h"

#include <cstdint>
#include <vector>

// An open-addressing hash map from PackedKey to a non-zero 32-bit index,
// built once and then only read: lookups in the per-cell loop stay free of
// strings and of allocation, and a slot is 16 bytes.
class PackedKeyMap
{
public:
    void reserve(std::size_t count)
    {
        if (count == 0) {
            m_slots.clear();
            return;
        }
        std::size_t capacity = 16;
        while (capacity < count * 2)
            capacity *= 2;
        m_slots.assign(capacity, Slot {});
        m_mask = capacity - 1;
    }

    // Inserts or replaces; value must not be 0, and reserve() must have
    // made room.
    void insert(PackedKey key, std::uint32_t value)
    {
        for (std::size_t i = hash(key) & m_mask;; i = (i + 1) & m_mask) {
            Slot &slot = m_slots[i];
            if (!slot.value || slot.holds(key)) {
                slot.head = key.head;
                slot.tail = key.tail;
                slot.value = value;
                return;
            }
        }
    }

    // The key's value; 0 when the map lacks the key.
    std::uint32_t find(PackedKey key) const
    {
        if (m_slots.empty())
            return 0;
        for (std::size_t i = hash(key) & m_mask;; i = (i + 1) & m_mask) {
            const Slot &slot = m_slots[i];
            if (!slot.value || slot.holds(key))
                return slot.value;
        }
    }

    bool isEmpty() const { return m_slots.empty(); }

private:
    struct Slot
    {
        std::uint64_t head = 0;
        std::uint32_t value = 0;
        std::uint8_t tail = 0;

        bool holds(PackedKey key) const { return head == key.head && tail == key.tail; }
    };

    static std::size_t hash(PackedKey key)
    {
        std::uint64_t h = (key.head ^ (std::uint64_t(key.tail) << 3)) * 0x9e3779b97f4a7c15ull;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
};
