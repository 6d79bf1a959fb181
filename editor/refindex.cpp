#include "refindex.h"
#include "refs.h"
#include "strtable_p.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillon {

QString resolveDocumentPart(const QString &holder, const QString &part)
{
    if (part.isEmpty())
        return {};
    const QFileInfo info(part);
    const QString path = info.isRelative() ? QFileInfo(holder).absoluteDir().filePath(part) : part;
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

namespace {

// forEachReference, without a call through std::function per reference.
template <class F> void walkReferences(const XmlDocument &doc, F &&f)
{
    auto visit = [&f](ElementRef instance, ElementRef property, ElementRef e) {
        if (const char *ref = e.attribute("ref"))
            f(instance, property, false, ref);
        if (const char *href = e.attribute("href"))
            f(instance, property, true, href);
    };
    doc.forEachInstance([&](ElementRef instance) {
        for (ElementRef property = instance.firstChild(); property; property = property.nextSibling()) {
            // Everything below the property, depth first, without recursion.
            ElementRef e = property;
            for (;;) {
                visit(instance, property, e);
                if (const ElementRef child = e.firstChild()) {
                    e = child;
                    continue;
                }
                while (!(e == property) && !e.nextSibling())
                    e = e.parent();
                if (e == property)
                    break;
                e = e.nextSibling();
            }
        }
    });
}

} // namespace

void forEachReference(const XmlDocument &doc, const std::function<void(ElementRef, ElementRef, bool, const char *)> &f)
{
    walkReferences(doc, f);
}

namespace {

constexpr quint32 kEnd = ~quint32(0);

// The id an href names when its document part is `part`: the text between the first and the
// second "#". False when the value holds no "#".
bool splitHref(std::string_view value, std::string_view &part, std::string_view &id)
{
    const size_t hash = value.find('#');
    if (hash == std::string_view::npos)
        return false;
    part = value.substr(0, hash);
    id = value.substr(hash + 1);
    id = id.substr(0, id.find('#'));
    return true;
}

Referrer referrerOf(const QString &file, ElementRef instance, ElementRef property)
{
    const char *id = instance.attribute("id");
    return {file, QString::fromUtf8(instance.name()), id ? QString::fromUtf8(id) : QString(),
            property ? NameToCaption(QString::fromUtf8(property.name())) : QString()};
}

// An href of another file of the folder: the file and id it names, and who holds it.
struct FolderRef {
    QString target; // resolveDocumentPart of its document part
    QString id;
    Referrer from;
};

struct FileRefs {
    QDateTime modified;
    qint64 size = -1;
    QList<FolderRef> refs;
};

} // namespace

struct ReferenceIndex::Data {
    struct Entry {
        ElementRef instance;
        ElementRef property;
        quint32 next = kEnd; // the entry of the same id before this one
    };
    bool built = false;
    const DocData *doc = nullptr;
    quint64 stamp = 0;
    QString file;
    // Keys are the values in the document's own memory, valid while the stamp stays.
    StringTable<quint32> last;
    std::vector<Entry> entries;
    QHash<QString, FileRefs> files; // the other files of a folder, by absolute path
};

ReferenceIndex::ReferenceIndex() : d(std::make_unique<Data>()) { }
ReferenceIndex::~ReferenceIndex() = default;

bool ReferenceIndex::isCurrentFor(const XmlDocument &doc) const
{
    return d->built && d->doc == doc.documentId() && d->stamp == doc.changeStamp() && d->file == doc.path();
}

void ReferenceIndex::clear()
{
    d = std::make_unique<Data>();
}

void ReferenceIndex::build(const XmlDocument &doc)
{
    Data &x = *d;
    size_t instances = 0;
    doc.forEachInstance([&instances](ElementRef) { ++instances; });
    x.last = StringTable<quint32>(instances);
    x.entries.clear();
    x.built = true;
    x.doc = doc.documentId();
    x.stamp = doc.changeStamp();
    x.file = doc.path();
    const QString self = doc.path().isEmpty() ? QString() : resolveDocumentPart(QString(), doc.path());
    // Whether an href's document part names this document, asked once per distinct part.
    std::unordered_map<std::string_view, bool> selfPart;
    walkReferences(doc, [&](ElementRef instance, ElementRef property, bool isHref, const char *value) {
        std::string_view key(value);
        if (isHref) {
            std::string_view part;
            if (!splitHref(key, part, key))
                return;
            auto it = selfPart.find(part);
            if (it == selfPart.end()) {
                const QString named =
                    resolveDocumentPart(doc.path(), QString::fromUtf8(part.data(), qsizetype(part.size())));
                it = selfPart.emplace(part, !self.isEmpty() && sameDocument(named, self)).first;
            }
            if (!it->second)
                return;
        }
        const auto index = quint32(x.entries.size());
        x.entries.push_back({instance, property, kEnd});
        const auto [at, added] = x.last.tryEmplace(key, index);
        if (!added) {
            x.entries.back().next = *at;
            *at = index;
        }
    });
}

QList<Referrer> ReferenceIndex::referrers(const XmlDocument &doc, const QString &id)
{
    if (!doc.hasChildNodes() || id.isEmpty())
        return {};
    if (!isCurrentFor(doc))
        build(doc);
    const QByteArray key = id.toUtf8();
    const quint32 *last = d->last.find(std::string_view(key.constData(), size_t(key.size())));
    if (!last)
        return {};
    QList<Referrer> found;
    // Element names and properties repeat: each is converted once per question.
    std::unordered_map<std::string_view, QString> names, captions;
    auto text = [](std::unordered_map<std::string_view, QString> &cache, const char *name, bool caption) {
        auto it = cache.find(name);
        if (it == cache.end())
            it = cache.emplace(name, caption ? NameToCaption(QString::fromUtf8(name)) : QString::fromUtf8(name)).first;
        return it->second;
    };
    const QString file = doc.path();
    for (quint32 i = *last; i != kEnd; i = d->entries[i].next) {
        const Data::Entry &e = d->entries[i];
        const char *id = e.instance.attribute("id");
        found.append({file, text(names, e.instance.name(), false), id ? QString::fromUtf8(id) : QString(),
                      e.property ? text(captions, e.property.name(), true) : QString()});
    }
    std::reverse(found.begin(), found.end()); // the chain runs from the last one back
    return found;
}

QList<Referrer> ReferenceIndex::referrersInFolder(const XmlDocument &doc, const QString &id)
{
    if (doc.path().isEmpty() || id.isEmpty())
        return {};
    const QString self = resolveDocumentPart(QString(), doc.path());
    const QDir folder = QFileInfo(self).absoluteDir();
    QList<Referrer> found;
    const QFileInfoList files =
        folder.entryInfoList({QStringLiteral("*.xml")}, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &info : files) {
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (sameDocument(path, self))
            continue;
        FileRefs &cached = d->files[path];
        if (cached.size != info.size() || cached.modified != info.lastModified()) {
            cached = FileRefs{info.lastModified(), info.size(), {}};
            XmlDocument other;
            if (other.load(path)) {
                forEachReference(other, [&](ElementRef instance, ElementRef property, bool isHref, const char *value) {
                    std::string_view part, target;
                    if (!isHref || !splitHref(value, part, target))
                        return;
                    cached.refs.append(
                        {resolveDocumentPart(path, QString::fromUtf8(part.data(), qsizetype(part.size()))),
                         QString::fromUtf8(target.data(), qsizetype(target.size())),
                         referrerOf(path, instance, property)});
                });
            }
        }
        for (const FolderRef &r : std::as_const(cached.refs))
            if (r.id == id && sameDocument(r.target, self))
                found.append(r.from);
    }
    return found;
}

} // namespace quillon
