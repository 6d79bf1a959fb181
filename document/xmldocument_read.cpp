// Reading of documents: encoding detection and conversion to UTF-8, the facts of style that
// save() writes back (BOM, line ends, empty-element style, declaration, declared entities),
// and the parse with its checks and error positions.

#include "document/xmldocument_p.h"
#include "document/asyncjob.h"
#include "document/encoding.h"
#include "document/hugepages.h"
#include "document/instancescan.h"
#include "document/loadprogress.h"
#include "document/memorybudget.h"
#include "document/filenames.h"
#include "document/wellformed.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

// From this size on, the check of well-formedness runs beside the parse.
constexpr size_t kParallelCheckBytes = size_t(1) << 20;

constexpr unsigned kParseFlags = pugi::parse_default | pugi::parse_fragment | pugi::parse_declaration |
                                 pugi::parse_doctype | pugi::parse_comments | pugi::parse_pi | pugi::parse_embed_pcdata;

// A buffer from pugixml's allocator, so that the document can take it over.
class Buffer {
public:
    Buffer() = default;
    ~Buffer() { reset(); }
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;

    // Room for n bytes and a terminating NUL (see parseSource).
    bool allocate(size_t n)
    {
        reset();
        m_data = static_cast<char *>(pugi::get_memory_allocation_function()(n + 1));
        m_size = m_data ? n : 0;
        if (m_hugePages)
            adviseHugePages(m_data, m_size);
        return m_data != nullptr;
    }
    void setHugePages(bool on) { m_hugePages = on; }
    void reset()
    {
        if (m_data)
            pugi::get_memory_deallocation_function()(m_data);
        m_data = nullptr;
        m_size = 0;
    }
    void swap(Buffer &o)
    {
        std::swap(m_data, o.m_data);
        std::swap(m_size, o.m_size);
    }
    char *release()
    {
        char *p = m_data;
        m_data = nullptr;
        m_size = 0;
        return p;
    }
    char *data() const { return m_data; }
    size_t size() const { return m_size; }
    void setSize(size_t n) { m_size = n; }

private:
    char *m_data = nullptr;
    size_t m_size = 0;
    bool m_hugePages = false;
};

QString sourceName(const QString &path, const QString *fromText)
{
    return fromText ? QCoreApplication::translate("XmlDocument", "XML text") : QDir::toNativeSeparators(path);
}

// How many bytes of a file are looked at before the rest is read.
constexpr qint64 kHeadBytes = qint64(64) << 10;

// Why bytes that begin a file cannot begin an XML document, or "" when they can (or when they
// hold nothing but blanks so far): after a byte order mark and blanks comes '<'. Judged on the
// first bytes, a file of anything else is refused before it is read in full.
QString badStart(const char *data, size_t size)
{
    encoding::Detected found;
    QString reason;
    if (!encoding::detect(data, size, found, reason))
        return reason;
    const bool le = found.encoding == XmlEncoding::Utf16LE, be = found.encoding == XmlEncoding::Utf16BE;
    const size_t step = le || be ? 2 : 1;
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    for (size_t i = found.bomSize; i + step <= size; i += step) {
        const unsigned c = le ? unsigned(p[i] | p[i + 1] << 8) : be ? unsigned(p[i] << 8 | p[i + 1]) : p[i];
        if (c == '<')
            return {};
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        const QString what = c > 0x20 && c < 0x7F ? QStringLiteral("'%1'").arg(QChar(c))
                                                  : QStringLiteral("byte 0x%1").arg(c, 2, 16, QLatin1Char('0'));
        return QCoreApplication::translate("XmlDocument", "it is not an XML document: it begins with %1, not '<'")
            .arg(what);
    }
    return {};
}

// Why path cannot be read, or "" when it can be tried. Anything but a regular file is refused
// before it is opened: reading a pipe or a device could wait forever. local: the bytes of the
// name (encodeFileName), so that a name that is not UTF-8 is found too. copied: the text will
// be kept as a copy (see KeptSource), which takes more memory.
QString unreadable(const QString &path, const QByteArray &local, bool copied)
{
    struct stat st;
    if (::stat(local.constData(), &st) != 0) {
        const QString folder = QFileInfo(path).absolutePath();
        struct stat dir;
        if (::stat(encodeFileName(folder).constData(), &dir) != 0 || !S_ISDIR(dir.st_mode))
            return QCoreApplication::translate("XmlDocument", "the folder %1 does not exist")
                .arg(QDir::toNativeSeparators(folder));
        return QCoreApplication::translate("XmlDocument", "the file does not exist");
    }
    if (S_ISDIR(st.st_mode))
        return QCoreApplication::translate("XmlDocument", "it is a folder, not a file");
    if (!S_ISREG(st.st_mode))
        return QCoreApplication::translate("XmlDocument", "it is not a regular file (a pipe, socket or device)");
    return memoryRefusal(qint64(st.st_size), memorySources(), copied ? kMemoryPerFileByteCopied : kMemoryPerFileByte);
}

// How much is read at a time: small enough for the progress to move on a large file.
constexpr qint64 kReadChunk = qint64(4) << 20;

// Reads f into buf from got on, until got is limit or the file ends; false (error set) when
// reading fails. progress (when given) counts what is read.
bool readUpTo(QFile &f, Buffer &buf, qint64 limit, qint64 &got, QString &error, LoadProgress *progress)
{
    while (got < limit) {
        const qint64 r = f.read(buf.data() + got, std::min(limit - got, kReadChunk));
        if (r < 0) {
            error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(f.fileName()), f.errorString());
            return false;
        }
        if (r == 0)
            break;
        got += r;
        if (progress)
            progress->addRead(r);
    }
    return true;
}

// Reads the whole file into buf; state receives the state of the file read. sized, when set,
// is called with the size of the file once it is known, before the bytes are read. keptFd, when
// set, receives the file still open, for a text to be parsed in place and read back (see
// KeptSource); without it the text is to be kept as a copy.
bool readFile(const QString &path, Buffer &buf, QString &error, FileState &state, LoadProgress *progress,
              const std::function<void(size_t)> &sized = {}, int *keptFd = nullptr)
{
    const QString name = QDir::toNativeSeparators(path);
    const QByteArray local = encodeFileName(path);
    if (const QString why = unreadable(path, local, !keptFd); !why.isEmpty()) {
        error = QStringLiteral("%1: %2").arg(name, why);
        return false;
    }
    QFile f;
    const int fd = ::open(local.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        error = err == EACCES || err == EPERM
                    ? QCoreApplication::translate("XmlDocument", "%1: you are not allowed to read it").arg(name)
                    : QStringLiteral("%1: %2").arg(name, QString::fromLocal8Bit(std::strerror(err)));
        return false;
    }
    const qint64 size = f.size();
    if (progress && size >= 0)
        progress->setTotal(size);
    if (size < 0 || !buf.allocate(size_t(size))) {
        error = QCoreApplication::translate("XmlDocument", "%1: not enough memory to read it").arg(name);
        return false;
    }
    // The head first: what cannot begin a document is refused before the rest is read.
    qint64 got = 0;
    if (!readUpTo(f, buf, std::min(size, kHeadBytes), got, error, progress))
        return false;
    if (const QString why = badStart(buf.data(), size_t(got)); !why.isEmpty()) {
        error = QStringLiteral("%1: %2").arg(name, why);
        return false;
    }
    if (sized)
        sized(size_t(size));
    if (got == std::min(size, kHeadBytes) && !readUpTo(f, buf, size, got, error, progress))
        return false;
    buf.setSize(size_t(got));
    state = fileStateOf(f.handle());
    if (keptFd)
        *keptFd = ::fcntl(f.handle(), F_DUPFD_CLOEXEC, 0);
    return true;
}

bool bytesBuffer(const QByteArray &bytes, Buffer &buf)
{
    if (!buf.allocate(size_t(bytes.size())))
        return false;
    if (!bytes.isEmpty())
        std::memcpy(buf.data(), bytes.constData(), size_t(bytes.size()));
    return true;
}

bool textBuffer(const QString &text, Buffer &buf)
{
    QByteArray utf8 = text.toUtf8();
    if (utf8.startsWith("\xEF\xBB\xBF"))
        utf8.remove(0, 3);
    if (!buf.allocate(size_t(utf8.size())))
        return false;
    if (!utf8.isEmpty())
        std::memcpy(buf.data(), utf8.constData(), size_t(utf8.size()));
    return true;
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Finds the encoding of the source in buf and converts buf to UTF-8 (a UTF-8 BOM stays in
// place; the parser skips it).
bool toUtf8(Buffer &buf, SourceFormat &fmt, bool fromText, QString &reason)
{
    encoding::Detected found;
    if (fromText) {
        found = encoding::detectText(buf.data(), buf.size());
    } else if (!encoding::detect(buf.data(), buf.size(), found, reason)) {
        return false;
    }
    fmt.encoding = found.encoding;
    fmt.bom = found.bom;
    if (fromText || !encoding::needsDecoding(found.encoding))
        return true;
    const size_t size = buf.size() - found.bomSize;
    // A lone byte after the last whole UTF-16 unit is kept aside and written back as it was.
    const bool utf16 = found.encoding == XmlEncoding::Utf16LE || found.encoding == XmlEncoding::Utf16BE;
    if (utf16 && size % 2)
        fmt.tail.assign(1, buf.data()[buf.size() - 1]);
    Buffer out;
    if (!out.allocate(encoding::utf8Capacity(found.encoding, size))) {
        reason = QCoreApplication::translate("XmlDocument", "out of memory");
        return false;
    }
    size_t written = 0;
    if (!encoding::decode(found.encoding, buf.data() + found.bomSize, size, out.data(), written, reason, found.bomSize))
        return false;
    // Unedited stretches are written back by converting them again: that must give the bytes
    // read, or a save would change what the user did not touch.
    size_t at = 0;
    if (!encoding::writesBack(found.encoding, buf.data() + found.bomSize, size, out.data(), written, at)) {
        reason = QCoreApplication::translate(
                     "XmlDocument", "the bytes at %1 stand for a character that %2 writes otherwise, so the file could "
                                    "not be saved as it is")
                     .arg(found.bomSize + at)
                     .arg(encoding::displayName(found.encoding));
        return false;
    }
    out.setSize(written);
    buf.swap(out);
    return true;
}

// Style facts taken from the UTF-8 source before the in-place parse changes it, as far as the
// text is read: scan() goes on from where the last call stopped.
class StyleScan {
public:
    // Scans [from, to) of the text that starts at begin and ends at end; 4 KiB before from and
    // 3 bytes after to must be readable (as far as the text goes).
    void scan(const char *begin, const char *from, const char *to, const char *end, SourceFormat &fmt)
    {
        if (end - begin >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0)
            begin += 3;
        from = std::max(from, begin);
        if (!m_started) {
            m_started = true;
            if (end - begin >= 6 && std::memcmp(begin, "<?xml", 5) == 0 && isXmlSpace(begin[5])) {
                const std::string_view rest(begin, size_t(std::min(end, to + 3) - begin));
                if (const size_t close = rest.find("?>"); close != std::string_view::npos)
                    for (char c : rest.substr(0, close + 2))
                        if (c != '\r')
                            fmt.declaration += c;
            }
        }
        if (!m_lineEndSeen && from < to) {
            if (const char *nl = static_cast<const char *>(std::memchr(from, '\n', size_t(to - from)))) {
                m_lineEndSeen = true;
                fmt.crlf = nl > begin && nl[-1] == '\r';
            }
        }
        for (const char *p = from; p < to;) {
            const char *gt = static_cast<const char *>(std::memchr(p, '>', size_t(to - p)));
            if (!gt)
                break;
            p = gt + 1;
            if (gt - begin >= 2 && gt[-1] == '/') {
                if (gt[-2] == ' ')
                    ++m_spaced;
                else
                    ++m_compact;
            } else if (end - gt >= 3 && gt[1] == '<' && gt[2] == '/') {
                // "></": an empty pair when the tag closed by gt is a start tag.
                const char *lt = gt;
                const char *stop = gt - std::min<ptrdiff_t>(gt - begin, 4096);
                while (lt > stop && *lt != '<')
                    --lt;
                if (*lt == '<' && lt[1] != '/' && lt[1] != '!' && lt[1] != '?')
                    ++m_pairs;
            }
        }
        if (m_pairs > m_compact + m_spaced)
            fmt.emptyTags = EmptyTagStyle::Pair;
        else if (m_spaced > m_compact)
            fmt.emptyTags = EmptyTagStyle::Spaced;
        else
            fmt.emptyTags = EmptyTagStyle::Compact;
    }

private:
    bool m_started = false;
    bool m_lineEndSeen = false;
    size_t m_compact = 0, m_spaced = 0, m_pairs = 0;
};

void scanStyle(const char *data, size_t size, SourceFormat &fmt)
{
    StyleScan().scan(data, data, data + size, data + size, fmt);
}

// Whether the document in src (UTF-8) has a DOCTYPE: one may stand only in the prolog, after
// the declaration, comments, processing instructions and blanks.
bool hasDoctype(std::string_view src)
{
    size_t i = src.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    for (;;) {
        while (i < src.size() && isXmlSpace(src[i]))
            ++i;
        const std::string_view rest = src.substr(std::min(i, src.size()));
        const bool pi = rest.substr(0, 2) == "<?", comment = rest.substr(0, 4) == "<!--";
        if (!pi && !comment)
            return rest.substr(0, 9) == "<!DOCTYPE";
        const size_t end = src.find(pi ? "?>" : "-->", i + 2);
        if (end == std::string_view::npos)
            return false;
        i = end + (pi ? 2 : 3);
    }
}

// Line and column (1-based, columns in characters) of a byte offset into the UTF-8 source.
void lineColumn(const KeptSource &src, ptrdiff_t offset, qint64 &line, qint64 &column)
{
    const size_t end = std::min<size_t>(size_t(std::max<ptrdiff_t>(offset, 0)), src.size());
    line = 1;
    column = 1;
    bool cr = false; // the byte before was a CR, which ends a line unless an LF follows
    src.forEachPiece(src.startsWith("\xEF\xBB\xBF") ? 3 : 0, end, [&](const char *data, size_t size) {
        for (size_t i = 0; i < size; ++i) {
            const unsigned char c = static_cast<unsigned char>(data[i]);
            if (cr && c != '\n') {
                ++line;
                column = 1;
            }
            cr = c == '\r';
            if (c == '\n') {
                ++line;
                column = 1;
            } else if (c != '\r' && (c & 0xC0) != 0x80) {
                ++column;
            }
        }
        return true;
    });
    if (cr && (end >= src.size() || src[end] != '\n')) {
        ++line;
        column = 1;
    }
}

// "<source>: <what> at line L, column C" for a byte offset into the UTF-8 source.
// skipSpace: the offset is that of a text node; report its first character that is not
// whitespace.
// The place is kept in d too (DocData::errorLine, errorColumn).
QString describeAt(DocData &d, const QString &name, ptrdiff_t offset, const QString &what, bool skipSpace = false)
{
    const KeptSource &source = d.source;
    while (skipSpace && offset >= 0 && size_t(offset) < source.size() && isXmlSpace(source[size_t(offset)]))
        ++offset;
    qint64 line = 0, column = 0;
    lineColumn(source, offset, line, column);
    d.errorLine = line;
    d.errorColumn = column;
    return QCoreApplication::translate("XmlDocument", "%1: %2 at line %3, column %4")
        .arg(name, what)
        .arg(line)
        .arg(column);
}

// A file descriptor closed when it goes out of scope.
class OwnedFd {
public:
    OwnedFd() = default;
    ~OwnedFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    OwnedFd(const OwnedFd &) = delete;
    OwnedFd &operator=(const OwnedFd &) = delete;
    int fd = -1;
};

// The file read a second time, for the check beside a parse in place: memory as large as the
// file, filled from it as the check goes on and given back behind the check, so that a few
// megabytes of it are held at a time. What is not filled reads as zero bytes.
class StreamedFile {
public:
    StreamedFile(int fd, size_t size) : m_fd(fd), m_size(size)
    {
        void *p = ::mmap(nullptr, size + 1, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        m_data = p == MAP_FAILED ? nullptr : static_cast<char *>(p);
    }
    ~StreamedFile()
    {
        if (m_data)
            ::munmap(m_data, m_size + 1);
    }
    StreamedFile(const StreamedFile &) = delete;
    StreamedFile &operator=(const StreamedFile &) = delete;

    const char *data() const { return m_data; }
    // Fills up to offset + kAhead (or the end).
    void fillAhead(size_t offset) { fill(std::min(m_size, offset + kAhead)); }
    void fillAll() { fill(m_size); }
    // Gives back what lies more than kBehind before offset, but for the pages of held. Only
    // a whole step at a time: each call interrupts the other threads of the process (the
    // parse) to flush their cache of addresses.
    void release(size_t offset, const std::vector<std::pair<size_t, size_t>> &held)
    {
        const size_t upTo = pageDown(offset > kBehind ? offset - kBehind : 0);
        if (upTo < m_released + kReleaseStep)
            return;
        std::vector<std::pair<size_t, size_t>> keep;
        for (const auto &[at, length] : held)
            keep.emplace_back(pageDown(at), pageDown(at + length) + kPage);
        std::sort(keep.begin(), keep.end());
        size_t from = m_released;
        for (const auto &[kb, ke] : keep) {
            if (kb >= upTo)
                break;
            if (kb > from)
                giveBack(from, kb);
            from = std::max(from, ke);
        }
        if (from < upTo)
            giveBack(from, upTo);
        m_released = std::max(m_released, upTo);
    }

private:
    static constexpr size_t kPage = 4096;
    static constexpr size_t kAhead = size_t(8) << 20;
    static constexpr size_t kBehind = size_t(64) << 10;
    static constexpr size_t kReleaseStep = size_t(8) << 20;
    static size_t pageDown(size_t n) { return n & ~(kPage - 1); }

    void fill(size_t to)
    {
        if (to <= m_filled)
            return;
        populate(m_data + m_filled, to - m_filled); // a call instead of a fault per page
        if (readBytesAt(m_fd, m_data + m_filled, to - m_filled, m_filled))
            m_filled = to;
    }
    void giveBack(size_t from, size_t to) { ::madvise(m_data + from, to - from, MADV_DONTNEED); }

    int m_fd;
    size_t m_size;
    char *m_data = nullptr;
    size_t m_filled = 0, m_released = 0;
};

// Checks the text of the file at fd (size bytes) as checkWellFormed does, reading the file
// again as the check goes, and takes the facts of style into fmt (when given). A text the
// check refuses in the window is read whole and checked again, so that the verdict and the
// place of the fault are those of the text.
bool checkStreamed(int fd, size_t size, SourceFormat *fmt, WellFormedError &fault)
{
    SourceFormat found;
    {
        StreamedFile file(fd, size);
        if (file.data()) {
            StyleScan style;
            const char *text = file.data();
            size_t scanned = 0;
            file.fillAhead(0);
            const bool ok = checkWellFormed(std::string_view(text, size), &fault,
                                            [&](size_t offset, const std::vector<std::pair<size_t, size_t>> &held) {
                                                file.fillAhead(offset);
                                                if (fmt)
                                                    style.scan(text, text + scanned, text + offset, text + size, found);
                                                scanned = offset;
                                                file.release(offset, held);
                                            });
            if (ok) {
                if (fmt) {
                    file.fillAll();
                    style.scan(text, text + scanned, text + size, text + size, found);
                    fmt->crlf = found.crlf;
                    fmt->declaration = std::move(found.declaration);
                    fmt->emptyTags = found.emptyTags;
                }
                return true;
            }
        }
    }
    std::string text(size, '\0');
    if (!readBytesAt(fd, text.data(), size, 0)) {
        fault = {0, "the file changed while it was read"};
        return false;
    }
    if (fmt)
        scanStyle(text.data(), size, *fmt);
    return checkWellFormed(text, &fault);
}

// A job waited for when it goes out of scope.
struct JoinedJob {
    ~JoinedJob() { job.waitForFinished(); }
    QFuture<void> job;
};

} // namespace

bool parseSource(DocData &d, const QString &path, const QString *fromText, QString &error, const QByteArray *fromBytes,
                 LoadProgress *progress)
{
    // Huge pages make the reading faster, but with the usual setting of the kernel ("madvise")
    // a fault may stop to compact memory for one: on a busy machine, pauses of a second. A
    // document read for a check (no window waits for it) takes them; one loaded to be shown
    // does not.
    Buffer buf;
    buf.setHugePages(d.readOnly);
    OwnedFd file; // the file read, to read back what the parse changes in place
    // The pages of a large text are faulted in on a second core while the file is read: those
    // of the buffer read into, or, for a document only read, of the copy kept (see below).
    // Faulting them in costs about as much as reading.
    JoinedJob faulting;
    const auto sized = [&](size_t size) {
        if (size < kParallelCheckBytes)
            return;
        if (d.readOnly)
            faulting.job = AsyncJob::start([&d, size] { d.source.reserve(size, true); });
        else
            faulting.job = AsyncJob::start([data = buf.data(), size] { populate(data, size); });
    };
    if (fromBytes) {
        if (const QString why = badStart(fromBytes->constData(), size_t(fromBytes->size())); !why.isEmpty()) {
            error = QStringLiteral("%1: %2").arg(path, why);
            return false;
        }
        if (!bytesBuffer(*fromBytes, buf)) {
            error = QCoreApplication::translate("XmlDocument", "%1: out of memory").arg(path);
            return false;
        }
    } else if (fromText) {
        if (!textBuffer(*fromText, buf)) {
            error = QCoreApplication::translate("XmlDocument", "XML text: out of memory");
            return false;
        }
    } else if (!readFile(path, buf, error, d.onDisk, progress, sized, d.readOnly ? nullptr : &file.fd)) {
        return false;
    }
    faulting.job.waitForFinished();
    if (progress)
        progress->setParsing();
    const char *const read = buf.data();
    QString reason;
    if (!toUtf8(buf, d.format, fromText != nullptr, reason)) {
        error = QStringLiteral("%1: %2").arg(sourceName(path, fromText), reason);
        return false;
    }
    // The source as read (in UTF-8), kept for error positions and for saving: what was not
    // edited is written back from it. A file read as it stands, to be shown, is kept in the
    // parser's buffer (see KeptSource); a converted or handed-over text as a copy, and so is
    // a document only read (for a check, or a comparison), which is then read only once.
    const bool inPlace = file.fd >= 0 && buf.data() == read && !d.readOnly;
    if (inPlace) {
        d.source.view(buf.data(), buf.size());
    } else {
        d.source.assign(buf.data(), buf.size());
    }
    // What the check and the facts of style read: the bytes before the parse changes them.
    const std::string_view text = inPlace ? std::string_view(buf.data(), buf.size()) : d.source.unparsed();
    const QString name = sourceName(path, fromText);

    // The strict check of well-formedness. On a copy it reads the kept source while pugixml
    // parses its own buffer; in place, it reads the file again as it goes (checkStreamed),
    // beside the parse, or, on a small text, comes first. The text is hashed before the parse,
    // to tell it again when the bytes the parse changes are read back.
    // A document with a DOCTYPE is checked first: the entities it declares decide how it is
    // parsed (with references left as written, to be expanded after the parse).
    WellFormedError fault;
    bool wellFormed = true;
    DeclaredEntities entities;
    // The facts of style are taken from the kept source beside the parse too.
    const bool doctype = hasDoctype(text);
    auto check = [&] {
        if (!d.readOnly)
            scanStyle(text.data(), text.size(), d.format);
        wellFormed = checkWellFormed(text, &fault, doctype ? &entities : nullptr);
    };
    const bool large = text.size() >= kParallelCheckBytes;
    QFuture<void> checker;
    if (inPlace && large && !doctype) {
        checker = AsyncJob::start([&, fd = file.fd, size = text.size()] {
            wellFormed = checkStreamed(fd, size, &d.format, fault);
        });
    } else if (inPlace || !large || doctype) {
        check();
        if (!wellFormed) {
            error = describeAt(d, name, ptrdiff_t(fault.offset), QString::fromUtf8(fault.message));
            return false;
        }
    } else {
        checker = AsyncJob::start(check);
    }

    const std::vector<uint64_t> hashes = inPlace ? blockHashes(text.data(), text.size()) : std::vector<uint64_t>();

    // pugixml overwrites the last byte of an in-place buffer with its terminator, which would
    // drop a final newline: hand it a NUL of our own as the last byte.
    const size_t size = buf.size();
    buf.data()[size] = '\0';
    const bool expand = !entities.internal.empty();
    const unsigned flags = expand ? kParseFlags & ~pugi::parse_escapes : kParseFlags;
    const pugi::xml_parse_result r = d.doc.load_buffer_inplace_own(buf.release(), size + 1, flags, pugi::encoding_utf8);
    // In place, what the parse changed is read back from the file: first when entities are to
    // be expanded (which reads the source); otherwise on a second core while what the first
    // view needs is counted, and then on both.
    bool patched = true;
    QFuture<void> patching;
    const bool patchAside = inPlace && !expand && large;
    if (patchAside) {
        d.source.beginPatch(file.fd, hashes);
        patching = AsyncJob::start([&] { d.source.patchSome(); });
    } else if (inPlace) {
        patched = d.source.patch(file.fd, hashes);
    }
    std::string why;
    size_t at = 0;
    const bool expanded = !r || !expand || !patched || expandEntities(d, entities, why, at);
    if (r && expanded)
        d.countInstances();
    if (patchAside) {
        d.source.patchSome();
        patching.waitForFinished();
        patched = d.source.endPatch();
    }
    checker.waitForFinished();
    if (!patched) {
        error = QCoreApplication::translate("XmlDocument", "%1: the file changed while it was read").arg(name);
        return false;
    }
    // The check knows more than the parser: its verdict comes first. What it accepts, pugixml
    // parses; a disagreement is still reported, never glossed over.
    if (!wellFormed) {
        error = describeAt(d, name, ptrdiff_t(fault.offset), QString::fromUtf8(fault.message));
        return false;
    }
    if (!r) {
        error = describeAt(d, name, r.offset, QString::fromUtf8(r.description()));
        return false;
    }
    d.format.entities = std::move(entities.external);
    if (!expanded) {
        error = describeAt(d, name, ptrdiff_t(at), QString::fromStdString(why));
        return false;
    }
    d.path = fromText ? QString() : path;
    d.loaded = true;
    return true;
}

namespace {

// Whether a text can be read in one pass: one that can begin a document, in UTF-8.
bool scannable(std::string_view text)
{
    encoding::Detected found;
    QString why;
    return badStart(text.data(), text.size()).isEmpty() && encoding::detect(text.data(), text.size(), found, why) &&
           !encoding::needsDecoding(found.encoding);
}

// The instances of text (of a source called name) for sink; see scanInstances.
InstanceScan scanText(std::string_view text, InstanceSink &sink, const QString &name, QString &error)
{
    if (!scannable(text) || hasDoctype(text))
        return InstanceScan::Declined;
    WellFormedError fault;
    if (!checkWellFormed(text, &fault, sink)) {
        error = QCoreApplication::translate("XmlDocument", "%1: %2 at byte %3")
                    .arg(name, QString::fromUtf8(fault.message))
                    .arg(fault.offset);
        return InstanceScan::Failed;
    }
    return InstanceScan::Read;
}

} // namespace

InstanceScan scanInstances(const QString &path, InstanceSink &sink, FileState &state, QString &error)
{
    // Read as a document only read is (the same tests of the file and of the memory available);
    // a file that cannot be read is left to a load to tell why. The text takes huge pages,
    // faulted in on a second core while the file is read, as a document only read does: the
    // scan then takes a third of the time. A pause of the kernel for a huge page delays the
    // list, not the window: the scan runs beside it.
    Buffer text;
    text.setHugePages(true);
    JoinedJob faulting;
    const auto sized = [&](size_t size) {
        if (size >= kParallelCheckBytes)
            faulting.job = AsyncJob::start([data = text.data(), size] { populate(data, size); });
    };
    QString why;
    FileState read;
    if (!readFile(path, text, why, read, nullptr, sized))
        return InstanceScan::Declined;
    faulting.job.waitForFinished();
    const InstanceScan scan =
        scanText(std::string_view(text.data(), text.size()), sink, QDir::toNativeSeparators(path), error);
    if (scan == InstanceScan::Read)
        state = read;
    return scan;
}

InstanceScan scanInstances(const QByteArray &bytes, InstanceSink &sink, QString &error)
{
    return scanText(std::string_view(bytes.constData(), size_t(bytes.size())), sink,
                    QCoreApplication::translate("XmlDocument", "XML text"), error);
}

} // namespace quillon
