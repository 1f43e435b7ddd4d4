#include "messages/store/MsgFingerprintSet.h"

namespace
{
constexpr std::size_t kFirstSlots = 1024; // a power of two
} // namespace

std::size_t MsgFingerprintSet::slotOf(std::uint64_t key) const
{
    // Spread the bits (Fibonacci hashing), so keys that differ only in their high bits spread too.
    return std::size_t((key * 0x9E3779B97F4A7C15ULL) >> 32) & (m_slots.size() - 1);
}

bool MsgFingerprintSet::contains(std::uint64_t key) const
{
    if (key == 0)
        return m_hasZero;
    if (m_slots.empty())
        return false;
    for (std::size_t i = slotOf(key);; i = (i + 1) & (m_slots.size() - 1)) {
        if (m_slots[i] == key)
            return true;
        if (m_slots[i] == 0)
            return false;
    }
}

void MsgFingerprintSet::insert(std::uint64_t key)
{
    if (key == 0) {
        m_hasZero = true;
        return;
    }
    // At most half full, so probes stay short and an empty slot always ends them.
    if ((m_size + 1) * 2 > m_slots.size())
        grow();
    std::size_t i = slotOf(key);
    while (m_slots[i] != 0 && m_slots[i] != key)
        i = (i + 1) & (m_slots.size() - 1);
    if (m_slots[i] == 0) {
        m_slots[i] = key;
        ++m_size;
    }
}

void MsgFingerprintSet::grow()
{
    std::vector<std::uint64_t> old(m_slots.empty() ? kFirstSlots : m_slots.size() * 2, 0);
    old.swap(m_slots);
    m_size = 0;
    for (std::uint64_t key : old)
        if (key != 0)
            insert(key);
}

void MsgFingerprintSet::clear()
{
    m_slots.clear();
    m_size = 0;
    m_hasZero = false;
}
