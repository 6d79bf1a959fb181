#pragma once
// A hash table from strings held elsewhere (a document's names and values) to a value: open
// addressing, no allocation per entry, for the walks over a million instances.

#include "hugepages_p.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace quillon {

// A hash of the bytes of a key: FNV-1a, eight bytes at a time where it can.
inline uint64_t hashKey(std::string_view s)
{
    uint64_t h = 1469598103934665603ull;
    size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        h = (h ^ w) * 1099511628211ull;
        h ^= h >> 29;
    }
    for (; i < s.size(); ++i)
        h = (h ^ uint8_t(s[i])) * 1099511628211ull;
    return h ^ (h >> 32);
}

template <class V> class StringTable {
public:
    explicit StringTable(size_t expected = 16) { rehash(capacityFor(expected)); }

    // The value stored for key, or inserted as v; the flag says whether it was inserted.
    std::pair<V *, bool> tryEmplace(std::string_view key, const V &v)
    {
        if ((m_count + 1) * 2 > m_slots.size())
            rehash(m_slots.size() * 2);
        const uint64_t h = hash(key);
        Slot *s = probe(key, h);
        if (s->used)
            return {&s->value, false};
        *s = Slot{key.data(), uint32_t(key.size()), true, h, v};
        ++m_count;
        return {&s->value, true};
    }
    const V *find(std::string_view key) const
    {
        const Slot *s = const_cast<StringTable *>(this)->probe(key, hash(key));
        return s->used ? &s->value : nullptr;
    }
    size_t size() const { return m_count; }

private:
    struct Slot {
        const char *data = nullptr;
        uint32_t size = 0;
        bool used = false;
        uint64_t hash = 0;
        V value{};
    };
    static size_t capacityFor(size_t n)
    {
        size_t c = 16;
        while (c < n * 2)
            c *= 2;
        return c;
    }
    static uint64_t hash(std::string_view s) { return hashKey(s); }
    Slot *probe(std::string_view key, uint64_t h)
    {
        const size_t mask = m_slots.size() - 1;
        for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
            Slot &s = m_slots[i];
            if (!s.used || (s.hash == h && s.size == key.size() && std::memcmp(s.data, key.data(), key.size()) == 0))
                return &s;
        }
    }
    void rehash(size_t capacity)
    {
        std::vector<Slot> old;
        old.swap(m_slots);
        reserveHuge(m_slots, capacity);
        m_slots.assign(capacity, Slot{});
        const size_t mask = capacity - 1;
        for (const Slot &s : old) {
            if (!s.used)
                continue;
            size_t i = size_t(s.hash) & mask;
            while (m_slots[i].used)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
    }
    std::vector<Slot> m_slots;
    size_t m_count = 0;
};

} // namespace quillon
