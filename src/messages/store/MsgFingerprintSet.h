#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A set of 64-bit fingerprints in one flat table (linear probing), for the many inserts and
// lookups of a big save: one probe of one array per lookup, no node per entry.
class MsgFingerprintSet
{
public:
    bool contains(std::uint64_t key) const;
    void insert(std::uint64_t key);
    void clear();
    std::size_t size() const { return m_size + (m_hasZero ? 1 : 0); }

private:
    std::size_t slotOf(std::uint64_t key) const;
    void grow();

    std::vector<std::uint64_t> m_slots; // 0 marks an empty slot; the key 0 is kept aside
    std::size_t m_size = 0; // keys in m_slots
    bool m_hasZero = false;
};
