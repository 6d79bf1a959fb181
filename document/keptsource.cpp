#include "document/keptsource.h"
#include "document/hugepages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

namespace {

// The NULs of the parsed text are counted per block, and within a block per line of
// kNulLine bytes, so that the byte under one is found by counting at most a line.
constexpr size_t kNulBlock = 4096;
constexpr size_t kNulLine = 256;

inline uint64_t rotl(uint64_t x, int r)
{
    return (x << r) | (x >> (64 - r));
}

// The hash of a block, taken whole (hashBlock) or piece by piece: pieces of whole steps of
// 32 bytes, then the rest.
class BlockHash {
public:
    void addSteps(const char *p, size_t n) // n a multiple of kStep
    {
        for (size_t i = 0; i < n; i += kStep) {
            for (int j = 0; j < 4; ++j) {
                uint64_t w;
                std::memcpy(&w, p + i + 8 * j, 8);
                m_h[j] = rotl(m_h[j] ^ w, 29) * k;
            }
        }
        m_size += n;
    }
    uint64_t finish(const char *p, size_t n) // the last piece
    {
        const size_t steps = n / kStep * kStep;
        addSteps(p, steps);
        for (size_t i = steps, j = 0; i < n; ++j, i += 8) {
            uint64_t w = 0;
            std::memcpy(&w, p + i, std::min<size_t>(8, n - i));
            m_h[j & 3] = rotl(m_h[j & 3] ^ w, 29) * k;
        }
        uint64_t r = m_size + (n - steps);
        for (uint64_t x : m_h)
            r = rotl(r ^ x, 31) * k;
        return r;
    }
    static constexpr size_t kStep = 32;

private:
    static constexpr uint64_t k = 0x9E3779B97F4A7C15ull;
    uint64_t m_h[4] = {k, k ^ 1, k ^ 2, k ^ 3};
    uint64_t m_size = 0;
};

uint64_t hashBlock(const char *p, size_t n)
{
    return BlockHash().finish(p, n);
}

// The text is read back in parts of this many bytes, which threads take one after the other:
// so they end at about the same time, whenever each begins.
constexpr size_t kPatchPart = size_t(8) << 20;
static_assert(kPatchPart % kHashBlock == 0 && kPatchPart % kNulBlock == 0);

// The file is read back in pieces that stay in the cache while they are hashed and compared.
constexpr size_t kReadPiece = size_t(128) << 10;
static_assert(kReadPiece % BlockHash::kStep == 0 && kReadPiece % kNulBlock == 0);

size_t countNuls(const char *p, size_t n)
{
    size_t count = 0, i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        count += size_t(__builtin_popcount(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)))));
    }
#endif
    for (; i < n; ++i)
        count += p[i] == 0;
    return count;
}

} // namespace

// Reads n bytes at offset from fd; false when fewer are there.
bool readBytesAt(int fd, char *out, size_t n, size_t offset)
{
    while (n > 0) {
        const ssize_t r = ::pread(fd, out, n, off_t(offset));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        out += r;
        n -= size_t(r);
        offset += size_t(r);
    }
    return true;
}

std::vector<uint64_t> blockHashes(const char *data, size_t size)
{
    std::vector<uint64_t> out;
    out.reserve(size / kHashBlock + 1);
    for (size_t at = 0; at < size; at += kHashBlock)
        out.push_back(hashBlock(data + at, std::min(kHashBlock, size - at)));
    return out;
}

void KeptSource::clear()
{
    m_copy = std::string();
    m_data = nullptr;
    m_size = 0;
    m_inPlace = m_patched = false;
    m_parts = std::vector<Part>();
    m_nulBlocks = std::vector<size_t>();
    m_nulLines = std::vector<uint16_t>();
}

void KeptSource::reserve(size_t size, bool hugePages)
{
    m_copy.reserve(size);
    if (hugePages)
        adviseHugePages(m_copy.data(), size);
    if (!populate(m_copy.data(), size))
        m_copy.resize(size); // faults the pages in by writing them
}

void KeptSource::assign(const char *data, size_t size)
{
    std::string room = std::move(m_copy); // what reserve() made ready
    clear();
    m_copy = std::move(room);
    m_copy.assign(data, size);
    m_data = m_copy.data();
    m_size = size;
}

void KeptSource::view(const char *data, size_t size)
{
    clear();
    m_data = data;
    m_size = size;
    m_inPlace = true;
}

void KeptSource::beginPatch(int fd, const std::vector<uint64_t> &hashes)
{
    m_fd = fd;
    m_hashes = &hashes;
    m_nulBlocks.assign((m_size + kNulBlock - 1) / kNulBlock, 0);
    m_nulLines.assign((m_size + kNulLine - 1) / kNulLine, 0);
    // Parts of whole blocks of the hashes (which are whole blocks of NULs).
    m_parts.assign(std::max<size_t>(1, (m_size + kPatchPart - 1) / kPatchPart), Part());
    for (size_t k = 0; k < m_parts.size(); ++k) {
        m_parts[k].begin = std::min(m_size, k * kPatchPart);
        m_parts[k].end = std::min(m_size, (k + 1) * kPatchPart);
    }
    m_nextPart = 0;
}

void KeptSource::patchSome()
{
    for (size_t k = m_nextPart++; k < m_parts.size(); k = m_nextPart++) {
        patchPart(m_parts[k]);
        if (!m_parts[k].ok)
            m_nextPart = m_parts.size(); // the file changed: the rest is not worth reading
    }
}

void KeptSource::patchPart(Part &part)
{
    // Room for a NUL at every byte, of which only what is written takes memory (pages of
    // memory come when first written): a NUL in the parsed text is a byte the parse wrote.
    part.nulBytes.reserve(part.end - part.begin);
    std::string read(std::min(kReadPiece, part.end - part.begin), '\0');
    const auto note = [&](size_t blockAt, size_t i) {
        const char was = read[i];
        if (m_data[blockAt + i] == 0) {
            part.nulBytes.push_back(was);
        } else if (!part.runs.empty() && part.runs.back().at + part.runs.back().length == blockAt + i) {
            ++part.runs.back().length;
            part.runBytes.push_back(was);
        } else {
            part.runs.push_back({blockAt + i, part.runBytes.size(), 1});
            part.runBytes.push_back(was);
        }
    };
    BlockHash hash;
    for (size_t at = part.begin; at < part.end; at += kReadPiece) {
        const size_t n = std::min(kReadPiece, part.end - at), block = at / kHashBlock;
        if (block >= m_hashes->size() || !readBytesAt(m_fd, read.data(), n, at))
            return;
        if ((at + n) % kHashBlock != 0 && at + n != m_size) {
            hash.addSteps(read.data(), n);
        } else if (std::exchange(hash, BlockHash()).finish(read.data(), n) != (*m_hashes)[block]) {
            return;
        }
        const char *p = m_data + at;
        size_t blockStart = 0; // NULs before the block under way
        for (size_t sb = 0; sb < n; sb += kNulLine) {
            if ((at + sb) % kNulBlock == 0) {
                blockStart = part.nulBytes.size();
                m_nulBlocks[(at + sb) / kNulBlock] = blockStart; // made global by endPatch()
            }
            m_nulLines[(at + sb) / kNulLine] = uint16_t(part.nulBytes.size() - blockStart);
            const size_t se = std::min(n, sb + kNulLine);
            size_t i = sb;
#if defined(__SSE2__)
            const __m128i zero = _mm_setzero_si128();
            for (; i + 16 <= se; i += 16) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(read.data() + i));
                const unsigned z = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(a, zero)));
                const unsigned d = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))) & 0xFFFFu;
                for (unsigned m = z | d; m; m &= m - 1)
                    note(at, i + unsigned(__builtin_ctz(m)));
            }
#endif
            for (; i < se; ++i)
                if (p[i] == 0 || p[i] != read[i])
                    note(at, i);
        }
    }
    part.runs.shrink_to_fit();
    part.runBytes.shrink_to_fit();
    part.ok = true;
}

bool KeptSource::endPatch()
{
    m_fd = -1;
    m_hashes = nullptr;
    size_t rank = 0;
    for (Part &part : m_parts) {
        if (!part.ok) {
            clear();
            return false;
        }
        part.rank = rank;
        for (size_t b = part.begin / kNulBlock; b * kNulBlock < part.end; ++b)
            m_nulBlocks[b] += rank;
        rank += part.nulBytes.size();
    }
    m_patched = true;
    return true;
}

size_t KeptSource::nulsBefore(size_t i) const
{
    const size_t line = i / kNulLine;
    return m_nulBlocks[i / kNulBlock] + m_nulLines[line] + countNuls(m_data + line * kNulLine, i - line * kNulLine);
}

size_t KeptSource::partAt(size_t i) const
{
    return std::min(i / kPatchPart, m_parts.size() - 1);
}

const KeptSource::Run *KeptSource::runAt(const Part &part, size_t i) const
{
    auto it = std::partition_point(part.runs.begin(), part.runs.end(),
                                   [i](const Run &r) { return r.at + r.length <= i; });
    return it != part.runs.end() && it->at <= i ? &*it : nullptr;
}

void KeptSource::restore(size_t begin, size_t end, char *out) const
{
    if (end <= begin)
        return;
    std::memcpy(out, m_data + begin, end - begin);
    if (!m_patched)
        return;
    for (size_t k = partAt(begin); k < m_parts.size() && m_parts[k].begin < end; ++k) {
        const Part &part = m_parts[k];
        const size_t from = std::max(begin, part.begin), to = std::min(end, part.end);
        const char *nul = part.nulBytes.data() + (nulsBefore(from) - part.rank);
        char *p = out + (from - begin), *const stop = out + (to - begin);
#if defined(__SSE2__)
        // NULs stand about every twenty bytes: found sixteen bytes at a time.
        const __m128i zero = _mm_setzero_si128();
        for (; p + 16 <= stop; p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            for (unsigned m = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))); m; m &= m - 1)
                p[__builtin_ctz(m)] = *nul++;
        }
#endif
        for (; p < stop; ++p)
            if (*p == 0)
                *p = *nul++;
        auto it = std::partition_point(part.runs.begin(), part.runs.end(),
                                       [from](const Run &r) { return r.at + r.length <= from; });
        for (; it != part.runs.end() && it->at < to; ++it) {
            const size_t a = std::max(from, it->at), b = std::min(to, it->at + it->length);
            std::memcpy(out + (a - begin), part.runBytes.data() + it->from + (a - it->at), b - a);
        }
    }
}

char KeptSource::operator[](size_t i) const
{
    const char c = m_data[i];
    if (!m_patched)
        return c;
    const Part &part = m_parts[partAt(i)];
    if (c == 0)
        return part.nulBytes[nulsBefore(i) - part.rank];
    if (!part.runs.empty())
        if (const Run *r = runAt(part, i))
            return part.runBytes[r->from + (i - r->at)];
    return c;
}

void KeptSource::append(std::string &out, size_t begin, size_t n) const
{
    begin = std::min(begin, m_size);
    n = std::min(n, m_size - begin);
    const size_t at = out.size();
    out.resize(at + n);
    restore(begin, begin + n, out.data() + at);
}

std::string KeptSource::substr(size_t pos, size_t n) const
{
    std::string out;
    append(out, pos, n);
    return out;
}

size_t KeptSource::find(std::string_view s, size_t from) const
{
    if (!m_patched)
        return std::string_view(m_data, m_size).find(s, from);
    if (from > m_size || s.size() > m_size - from)
        return npos;
    if (s.empty())
        return from;
    // Most searches end near where they start: the window grows as it goes.
    std::string window;
    for (size_t at = from, chunk = 256;; at += chunk, chunk = std::min(chunk * 2, size_t(1) << 16)) {
        const size_t end = std::min(m_size, at + chunk + s.size() - 1);
        window.resize(end - at);
        restore(at, end, window.data());
        if (const size_t k = window.find(s); k != npos)
            return at + k;
        if (end == m_size)
            return npos;
    }
}

size_t KeptSource::rfind(std::string_view s, size_t pos) const
{
    if (!m_patched)
        return std::string_view(m_data, m_size).rfind(s, pos);
    if (s.size() > m_size)
        return npos;
    // Starts [first, last] are looked at in one window, the latest first.
    size_t last = std::min(pos, m_size - s.size());
    if (s.empty())
        return last;
    std::string window;
    for (size_t chunk = 256;; chunk = std::min(chunk * 2, size_t(1) << 16)) {
        const size_t first = last >= chunk ? last - chunk + 1 : 0;
        window.resize(last - first + s.size());
        restore(first, last + s.size(), window.data());
        if (const size_t k = window.rfind(s); k != npos)
            return first + k;
        if (first == 0)
            return npos;
        last = first - 1;
    }
}

bool KeptSource::forEachPiece(size_t begin, size_t end, const std::function<bool(const char *, size_t)> &f) const
{
    end = std::min(end, m_size);
    if (end <= begin)
        return true;
    if (!m_patched)
        return f(m_data + begin, end - begin);
    constexpr size_t kPiece = size_t(1) << 20;
    std::string piece(std::min(kPiece, end - begin), '\0');
    for (size_t at = begin; at < end; at += kPiece) {
        const size_t n = std::min(kPiece, end - at);
        restore(at, at + n, piece.data());
        if (!f(piece.data(), n))
            return false;
    }
    return true;
}

bool KeptSource::sameBytes(size_t begin, size_t end, const KeptSource &o, size_t obegin) const
{
    if (end < begin || end > m_size || obegin > o.m_size || end - begin > o.m_size - obegin)
        return false;
    if (!m_patched && !o.m_patched)
        return std::memcmp(m_data + begin, o.m_data + obegin, end - begin) == 0;
    // Only a text the parse changed is restored; the other is read where it is.
    constexpr size_t kStep = 4096;
    char a[kStep], b[kStep];
    for (size_t at = begin; at < end; at += kStep) {
        const size_t n = std::min(kStep, end - at), oat = obegin + (at - begin);
        const char *mine = m_data + at, *theirs = o.m_data + oat;
        if (m_patched) {
            restore(at, at + n, a);
            mine = a;
        }
        if (o.m_patched) {
            o.restore(oat, oat + n, b);
            theirs = b;
        }
        if (std::memcmp(mine, theirs, n) != 0)
            return false;
    }
    return true;
}

} // namespace quillon
