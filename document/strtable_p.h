#pragma once
// Finding strings held elsewhere (a document's names and values) by their hash, with no
// allocation per entry, for the walks over a million instances: a hash table to a value (open
// addressing, StringTable), one of pointers to things that hold their key (KeyedPointers), and
// an order of entries by hash bucket (HashBuckets).

#include "document/hugepages.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <cstring>
#include <string_view>
#include <vector>

namespace quillon {

// A hash of the bytes of a key: FNV-1a, eight bytes at a time where it can, then mixed so that
// every bit of the key reaches the low bits (keys like "id1000000" differ in their last bytes,
// which the multiplication carries only upwards).
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
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
}

// A key held elsewhere, with its hash: made once where the key's bytes are at hand.
struct KeyRef {
    const char *data = "";
    uint32_t size = 0;
    uint32_t hash = 0;
    KeyRef() = default;
    explicit KeyRef(std::string_view s)
        : data(s.data() ? s.data() : ""), size(uint32_t(s.size())), hash(uint32_t(hashKey(s)))
    { }
};

// Entries with a hash each, in an order of their own (document order), arranged by bucket of
// their hashes: a counting sort that keeps that order within a bucket. 4 bytes an entry and 4
// to 8 a bucket, no allocation per entry.
class HashBuckets {
public:
    // Arranges entries 0 .. n-1; hashOf(i) is the hash of entry i.
    template <class HashOf> void build(size_t n, HashOf hashOf)
    {
        begin(n);
        while (!buildSome(hashOf, SIZE_MAX)) { }
    }
    // The same in parts, for a caller that must not stop for long: begin(n), then buildSome()
    // until it returns true, each call taking up to count entries a step further (they are
    // counted by bucket, then placed).
    void begin(size_t n)
    {
        size_t buckets = 16;
        while (buckets < n)
            buckets *= 2;
        m_ends.assign(buckets, 0);
        m_order.clear();
        m_size = n;
        m_next = 0;
        m_counted = false;
    }
    template <class HashOf> bool buildSome(HashOf hashOf, size_t count)
    {
        const size_t mask = m_ends.size() - 1;
        const size_t end = m_size - m_next > count ? m_next + count : m_size;
        if (!m_counted) {
            for (; m_next < end; ++m_next)
                ++m_ends[hashOf(m_next) & mask];
            if (m_next < m_size)
                return false;
            uint32_t start = 0;
            for (uint32_t &bucketEnd : m_ends) {
                const uint32_t inBucket = bucketEnd;
                bucketEnd = start; // the bucket's start for now: placing moves it to its end
                start += inBucket;
            }
            m_order.resize(m_size);
            m_counted = true;
            m_next = 0;
            return m_size == 0;
        }
        for (; m_next < end; ++m_next)
            m_order[m_ends[hashOf(m_next) & mask]++] = uint32_t(m_next);
        return m_next == m_size;
    }
    // Calls f(i) for each entry i of hash's bucket, in their order, until f returns true.
    template <class F> void find(uint32_t hash, F f) const
    {
        if (m_ends.empty())
            return;
        const size_t bucket = hash & (m_ends.size() - 1);
        for (uint32_t i = bucket ? m_ends[bucket - 1] : 0; i < m_ends[bucket]; ++i)
            if (f(m_order[i]))
                return;
    }
    void clear()
    {
        m_ends = std::vector<uint32_t>();
        m_order = std::vector<uint32_t>();
    }

private:
    std::vector<uint32_t> m_ends; // per bucket, where its entries end in m_order
    std::vector<uint32_t> m_order; // entries by bucket
    size_t m_size = 0, m_next = 0; // of a build in parts: the entries, the next to count or place
    bool m_counted = false;
};

// Pointers to things that hold their own key (a document's instances, by their id) in a table
// sized once for up to n of them: open addressing, linear probing, no removal, so that of
// things with equal keys the one inserted first is found first. A byte of the hash beside each
// slot lets a probe read a thing's key only when that byte matches. About 14 bytes an entry.
template <class T> class KeyedPointers {
public:
    // Zeroed by the system, page by page as the entries come: making the table of a large
    // document does not stop to clear it first.
    void reset(size_t n)
    {
        m_capacity = n + n / 2 + 1;
        m_slots.reset(static_cast<T **>(std::calloc(m_capacity, sizeof(T *))));
        m_tags.reset(static_cast<uint8_t *>(std::calloc(m_capacity, 1)));
        if (!m_slots || !m_tags)
            clear(); // finds nothing, takes nothing: lookups walk
        m_count = 0;
    }
    void clear()
    {
        m_slots.reset();
        m_tags.reset();
        m_capacity = m_count = 0;
    }
    // False, inserting nothing, when the table holds the n it was made for (one slot stays free).
    bool insert(uint64_t hash, T *p)
    {
        if (m_count + 1 >= m_capacity)
            return false;
        size_t i = home(hash);
        while (m_tags[i])
            i = next(i);
        m_tags[i] = tag(hash);
        m_slots[i] = p;
        ++m_count;
        return true;
    }
    // The first thing inserted with this hash for which matches(thing) holds, or null.
    template <class Matches> T *find(uint64_t hash, Matches matches) const
    {
        if (!m_capacity)
            return nullptr;
        const uint8_t t = tag(hash);
        for (size_t i = home(hash); m_tags[i]; i = next(i))
            if (m_tags[i] == t && matches(m_slots[i]))
                return m_slots[i];
        return nullptr;
    }

private:
    struct Free {
        void operator()(void *p) const { std::free(p); }
    };
    size_t home(uint64_t hash) const { return size_t((static_cast<unsigned __int128>(hash) * m_capacity) >> 64); }
    size_t next(size_t i) const { return i + 1 == m_capacity ? 0 : i + 1; }
    static uint8_t tag(uint64_t hash) { return uint8_t(hash) | 0x80; } // 0: a free slot
    std::unique_ptr<T *[], Free> m_slots;
    std::unique_ptr<uint8_t[], Free> m_tags;
    size_t m_capacity = 0, m_count = 0;
};

template <class V> class StringTable {
public:
    explicit StringTable(size_t expected = 16) { rehash(capacityFor(expected)); }

    // The value stored for key, or inserted as v; the flag says whether it was inserted.
    std::pair<V *, bool> tryEmplace(const KeyRef &key, const V &v)
    {
        if ((m_count + 1) * 2 > m_slots.size())
            rehash(m_slots.size() * 2);
        Slot *s = probe(key);
        if (s->data)
            return {&s->value, false};
        *s = Slot{key.data, key.size, key.hash, v};
        ++m_count;
        return {&s->value, true};
    }
    std::pair<V *, bool> tryEmplace(std::string_view key, const V &v) { return tryEmplace(KeyRef(key), v); }
    const V *find(const KeyRef &key) const
    {
        const Slot *s = const_cast<StringTable *>(this)->probe(key);
        return s->data ? &s->value : nullptr;
    }
    const V *find(std::string_view key) const { return find(KeyRef(key)); }
    size_t size() const { return m_count; }

    // For loops over many keys, whose slots and keys would each be a miss of the cache: ask
    // for the slot where key's probe begins some keys ahead, and for the key held there a few
    // keys later (it is compared with key then).
    void prefetchSlot(const KeyRef &key) const { __builtin_prefetch(&m_slots[key.hash & (m_slots.size() - 1)]); }
    void prefetchStoredKey(const KeyRef &key) const
    {
        if (const char *p = m_slots[key.hash & (m_slots.size() - 1)].data)
            __builtin_prefetch(p);
    }

private:
    struct Slot {
        const char *data = nullptr; // null: a free slot
        uint32_t size = 0;
        uint32_t hash = 0;
        V value{};
    };
    static size_t capacityFor(size_t n)
    {
        size_t c = 16;
        while (c < n * 2)
            c *= 2;
        return c;
    }
    Slot *probe(const KeyRef &key)
    {
        const size_t mask = m_slots.size() - 1;
        for (size_t i = key.hash & mask;; i = (i + 1) & mask) {
            Slot &s = m_slots[i];
            if (!s.data || (s.hash == key.hash && s.size == key.size && std::memcmp(s.data, key.data, key.size) == 0))
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
            if (!s.data)
                continue;
            size_t i = s.hash & mask;
            while (m_slots[i].data)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
    }
    std::vector<Slot> m_slots;
    size_t m_count = 0;
};

} // namespace quillon
