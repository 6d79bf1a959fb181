#pragma once
// The text of a document as it was read, kept for saving (what was not edited is copied from
// it byte for byte), for error positions and for showing the file.
//
// A file read as UTF-8 is kept once: the parser works in place over the bytes read, and writes
// terminators (and decoded references) into them. What it changed is read back from the file
// after the parse and kept beside: the byte under every NUL it wrote, in order, and the rare
// stretches it changed otherwise. Every read goes through this class and sees the text as read.
// Other texts (converted from UTF-16, handed over in memory) are kept as a copy.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class KeptSource {
public:
    static constexpr size_t npos = std::string::npos;

    KeptSource() = default;
    // The text may point into a copy of its own.
    KeptSource(const KeptSource &) = delete;
    KeptSource &operator=(const KeptSource &) = delete;

    // Room for a copy of size bytes, faulted in (hugePages: advised huge pages first, see
    // hugepages.h): the copy into it is then a plain copy.
    void reserve(size_t size, bool hugePages);
    // A copy of [data, data + size).
    void assign(const char *data, size_t size);
    // The bytes at data, not yet changed by a parse; read in place until patch().
    void view(const char *data, size_t size);
    // The viewed bytes were parsed in place: reads the file at fd again (from its start) and
    // keeps what differs. hashes: blockHashes() of the bytes before the parse. False, leaving
    // the text empty, when the file no longer holds those bytes.
    bool patch(int fd, const std::vector<uint64_t> &hashes)
    {
        beginPatch(fd, hashes);
        patchSome();
        return endPatch();
    }
    // patch(), by threads side by side: beginPatch(), then patchSome() on each (each takes the
    // parts of the text not yet taken, one after the other, until none is left), then
    // endPatch() once all have returned. fd and hashes must live until then.
    void beginPatch(int fd, const std::vector<uint64_t> &hashes);
    void patchSome();
    bool endPatch();
    // The bytes as they stand, before any parse in place changed them (not after patch()).
    std::string_view unparsed() const { return std::string_view(m_data, m_size); }

    size_t size() const { return m_size; }
    char operator[](size_t i) const;
    void append(std::string &out, size_t begin, size_t n) const;
    std::string substr(size_t pos, size_t n = npos) const;
    bool startsWith(std::string_view s) const { return size() >= s.size() && substr(0, s.size()) == s; }
    // As std::string's: the first at or after from, the last starting at or before pos.
    size_t find(char c, size_t from = 0) const { return find(std::string_view(&c, 1), from); }
    size_t find(std::string_view s, size_t from = 0) const;
    size_t rfind(char c, size_t pos = npos) const { return rfind(std::string_view(&c, 1), pos); }
    size_t rfind(std::string_view s, size_t pos = npos) const;
    // Hands [begin, end) to f in pieces, in order; stops when f returns false (and returns
    // false then).
    bool forEachPiece(size_t begin, size_t end, const std::function<bool(const char *, size_t)> &f) const;
    // Whether [begin, end) here holds the same bytes as [obegin, obegin + end - begin) in o.
    bool sameBytes(size_t begin, size_t end, const KeptSource &o, size_t obegin) const;

    // Whether p points into bytes the parser may change: a string of the parsed tree there must
    // be given its own memory before it takes another value.
    bool sharesParserBytes(const void *p) const
    {
        const auto *c = static_cast<const char *>(p);
        return m_inPlace && c >= m_data && c <= m_data + m_size;
    }

private:
    struct Run {
        size_t at; // where in the text
        size_t from; // where in the part's runBytes
        size_t length;
    };
    // What the parse changed in [begin, end) of the text.
    struct Part {
        size_t begin = 0, end = 0;
        size_t rank = 0; // NULs before begin
        std::string nulBytes; // the byte read under each NUL, in order
        std::vector<Run> runs; // other changed stretches, in order
        std::string runBytes;
        bool ok = false;
    };
    void clear();
    void patchPart(Part &part);
    size_t nulsBefore(size_t i) const; // NULs in m_data[0, i), for i < size()
    size_t partAt(size_t i) const; // the index of the part that holds byte i
    const Run *runAt(const Part &part, size_t i) const;
    void restore(size_t begin, size_t end, char *out) const;

    std::string m_copy;
    const char *m_data = nullptr;
    size_t m_size = 0;
    bool m_inPlace = false; // m_data is the parser's buffer
    bool m_patched = false;
    std::vector<Part> m_parts; // in order, covering the text, each kPatchPart bytes but the last
    std::atomic<size_t> m_nextPart{0}; // the first part no thread has taken yet
    std::vector<size_t> m_nulBlocks; // NULs before each block of kNulBlock bytes
    std::vector<uint16_t> m_nulLines; // NULs before each line of a block, from the block's start
    int m_fd = -1; // while patching
    const std::vector<uint64_t> *m_hashes = nullptr;
};

// Hashes of each block of kHashBlock bytes of [data, data + size): a later read that gives
// the same hashes gave the same bytes.
constexpr size_t kHashBlock = size_t(1) << 20;
std::vector<uint64_t> blockHashes(const char *data, size_t size);

// Reads n bytes at offset from fd (retrying short reads); false when fewer are there.
bool readBytesAt(int fd, char *out, size_t n, size_t offset);

} // namespace quillon
