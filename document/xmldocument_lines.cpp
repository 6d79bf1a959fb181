// The document object: where elements stand in the text of the file, by line, and the stamp
// that tells one state of a document from every other.
#include "document/xmldocument.h"
#include "document/xmldocument_p.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace quillon {

namespace {

constexpr size_t npos = std::string_view::npos;

// Line ends in [begin, end), as XML 1.0 reads them: "\r\n", a "\r" alone and a "\n" alone
// each end one line. A "\n" right after a "\r" ends no line of its own; afterCr says the byte
// before begin was a "\r" (the text may come in pieces) and is left saying so of end[-1].
size_t countLineEnds(const char *begin, const char *end, bool &afterCr)
{
    if (begin == end)
        return 0;
    // The next "\n" and the next "\r" at p or after it (end when none), each looked for again
    // only once passed: runs without a line end are skipped by memchr.
    const auto find = [end](const char *from, char c) {
        const void *at = std::memchr(from, c, size_t(end - from));
        return at ? static_cast<const char *>(at) : end;
    };
    const char *lf = find(begin, '\n'), *cr = find(begin, '\r');
    size_t n = 0;
    for (const char *p = begin; p < end;) {
        const char *next = std::min(lf, cr);
        if (next == end)
            break;
        if (next == cr)
            ++n;
        else if (!(next == begin ? afterCr : next[-1] == '\r'))
            ++n;
        p = next + 1;
        if (next == cr)
            cr = find(p, '\r');
        else
            lf = find(p, '\n');
    }
    afterCr = end[-1] == '\r';
    return n;
}

// The text of the file as pieces in order: the source as read until a save, then what the
// latest save wrote (stretches of the source and text written from memory).
std::vector<TextRecipe::Piece> piecesOf(const DocData &d)
{
    if (d.written)
        return d.written->pieces;
    return {TextRecipe::Piece{true, 0, d.source.size(), {}}};
}

} // namespace

quint64 XmlDocument::changeStamp() const
{
    return m_data->stamp;
}

QList<int> XmlDocument::lineNumbers(const QList<ElementRef> &elements) const
{
    QList<int> lines(elements.size(), 0);
    if (!m_data->loaded || elements.isEmpty())
        return lines;
    const DocData &d = *m_data;
    const std::vector<TextRecipe::Piece> pieces = piecesOf(d);

    // Where each element begins in the text of the file: its place in the source, carried
    // through the piece of the file that copied it.
    std::vector<size_t> pieceStart(pieces.size()); // offset of each piece in the file's text
    size_t total = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        pieceStart[i] = total;
        total += pieces[i].fromSource ? pieces[i].end - pieces[i].begin : pieces[i].text.size();
    }
    std::vector<std::pair<size_t, size_t>> copied; // (source begin, piece) of the copied stretches
    for (size_t p = 0; p < pieces.size(); ++p)
        if (pieces[p].fromSource)
            copied.emplace_back(pieces[p].begin, p);
    std::sort(copied.begin(), copied.end());
    std::vector<size_t> at(size_t(elements.size()), npos);
    for (qsizetype i = 0; i < elements.size(); ++i) {
        const pugi::xml_node n(static_cast<pugi::xml_node_struct *>(elements[i].m_p));
        if (!n || n.root() != d.doc || d.isRemoved(n))
            continue;
        const size_t s = nodeStart(d, n);
        if (s == npos)
            continue;
        auto it = std::upper_bound(copied.begin(), copied.end(), std::make_pair(s, npos));
        if (it == copied.begin())
            continue;
        const size_t p = std::prev(it)->second;
        if (s < pieces[p].end)
            at[size_t(i)] = pieceStart[p] + (s - pieces[p].begin);
    }

    // One pass over the text, in the order of the places.
    std::vector<qsizetype> order(at.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return at[size_t(a)] < at[size_t(b)]; });
    size_t piece = 0, done = 0, newlines = 0; // the text before `done` is counted
    bool afterCr = false;
    for (const qsizetype i : order) {
        const size_t target = at[size_t(i)];
        if (target == npos)
            break; // npos sorts last
        while (done < target && piece < pieces.size()) {
            const TextRecipe::Piece &p = pieces[piece];
            const size_t pieceEnd = pieceStart[piece] + (p.fromSource ? p.end - p.begin : p.text.size());
            const size_t upTo = std::min(target, pieceEnd);
            const size_t from = done - pieceStart[piece], to = upTo - pieceStart[piece];
            if (p.fromSource) {
                d.source.forEachPiece(p.begin + from, p.begin + to, [&](const char *data, size_t size) {
                    newlines += countLineEnds(data, data + size, afterCr);
                    return true;
                });
            } else {
                newlines += countLineEnds(p.text.data() + from, p.text.data() + to, afterCr);
            }
            done = upTo;
            if (done == pieceEnd)
                ++piece;
        }
        lines[i] = int(newlines + 1);
    }
    return lines;
}

} // namespace quillon
