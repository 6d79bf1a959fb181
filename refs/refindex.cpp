#include "refs/refindex.h"
#include "model/refs.h"
#include "refs/refwalk_p.h"
#include "document/strtable_p.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillon {

void forEachReference(const XmlDocument &doc, const std::function<void(ElementRef, ElementRef, bool, const char *)> &f)
{
    forEachReferenceNode(InstanceWalk(doc),
                         [&f](pugi::xml_node instance, pugi::xml_node property, bool isHref, const char *value) {
                             f(InstanceWalk::ref(instance), InstanceWalk::ref(property), isHref, value);
                         });
}

namespace {

Referrer referrerOf(const QString &file, ElementRef instance, ElementRef property)
{
    const char *id = instance.attribute("id");
    return {file,
            QString::fromUtf8(instance.name()),
            id ? QString::fromUtf8(id) : QString(),
            property ? NameToCaption(QString::fromUtf8(property.name())) : QString(),
            {}};
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

// The references of one state of a document, by the id they name. The entries stand in
// document order, and so they do within a bucket of their hashes. About 40 bytes a reference,
// and no pointer into the table from elsewhere.
struct ReferenceTable {
    struct Entry {
        const char *key; // the id named (a ref's value, an href's text after "#"), in the document
        quint32 size;
        quint32 hash;
        pugi::xml_node_struct *instance; // the instance that holds the reference
        pugi::xml_node_struct *property; // its child that holds it
    };
    std::vector<Entry> entries;
    HashBuckets byHash;
    const DocData *doc = nullptr;
    quint64 stamp = 0;
    QString file;

    bool isCurrentFor(const XmlDocument &d) const
    {
        return doc == d.documentId() && stamp == d.changeStamp() && file == d.path();
    }
    QList<quint32> find(std::string_view key) const
    {
        QList<quint32> rows;
        const auto h = quint32(hashKey(key));
        byHash.find(h, [&](quint32 i) {
            const Entry &e = entries[i];
            if (e.hash == h && e.size == key.size() && std::memcmp(e.key, key.data(), key.size()) == 0)
                rows.append(i);
            return false;
        });
        return rows;
    }
};

// A table being made, a part at a time: the references of the instances before cursor are in.
struct ReferenceIndex::Build {
    std::shared_ptr<ReferenceTable> table;
    InstanceCursor cursor;
    bool walked = false; // every instance is in; the buckets are being arranged
    // Whether an href's document part names this document, asked once per distinct part.
    std::unordered_map<std::string_view, bool> selfPart;

    explicit Build(const XmlDocument &doc) : table(std::make_shared<ReferenceTable>())
    {
        const InstanceWalk d(doc);
        table->doc = doc.documentId();
        table->stamp = doc.changeStamp();
        table->file = doc.path();
        // A reference takes a dozen bytes of text at the least: the room kept for one per 48
        // bytes is address space, touched only as far as it is used. (No huge pages here: a
        // window waits for this, and the kernel may stop to compact memory for them.)
        table->entries.reserve(d.sourceSize() / 48 + 16);
        if (d.isLoaded())
            cursor = InstanceCursor(d.documentElement());
    }

    // Adds the references of up to maxInstances more instances (all with -1), or, once they are
    // all in, goes on arranging them by bucket; true when the table is done.
    bool step(const XmlDocument &doc, qsizetype maxInstances)
    {
        ReferenceTable &t = *table;
        if (walked) {
            const auto hashOf = [&t](size_t i) { return t.entries[i].hash; };
            if (maxInstances >= 0) // an entry is a few times less work than an instance
                return t.byHash.buildSome(hashOf, size_t(maxInstances) * 16);
            while (!t.byHash.buildSome(hashOf, SIZE_MAX)) { }
            return true;
        }
        const auto add = [&](pugi::xml_node instance, pugi::xml_node property, bool isHref, const char *value) {
            std::string_view key(value);
            if (isHref) {
                std::string_view part;
                if (!splitHref(key, part, key))
                    return;
                auto it = selfPart.find(part);
                if (it == selfPart.end())
                    it = selfPart
                             .emplace(part,
                                      namesHolder(doc.path(), QString::fromUtf8(part.data(), qsizetype(part.size()))))
                             .first;
                if (!it->second)
                    return;
            }
            t.entries.push_back({key.data(), quint32(key.size()), quint32(hashKey(key)), instance.internal_object(),
                                 property.internal_object()});
        };
        for (qsizetype n = 0; !cursor.atEnd() && (maxInstances < 0 || n < maxInstances); ++n, cursor.advance())
            forEachReferenceIn(cursor.instance(), add);
        if (!cursor.atEnd())
            return false;
        walked = true;
        t.byHash.begin(t.entries.size());
        return maxInstances < 0 && step(doc, -1);
    }
};

namespace {

// Element names and property captions repeat: each is converted once per caller.
class RowText {
public:
    QString name(const char *name) { return text(m_names, name, false); }
    QString caption(const char *name) { return text(m_captions, name, true); }

private:
    static QString text(std::unordered_map<std::string_view, QString> &cache, const char *name, bool caption)
    {
        auto it = cache.find(name);
        if (it == cache.end())
            it = cache.emplace(name, caption ? NameToCaption(QString::fromUtf8(name)) : QString::fromUtf8(name)).first;
        return it->second;
    }
    std::unordered_map<std::string_view, QString> m_names, m_captions;
};

Referrer rowOf(const ReferenceTable &t, quint32 entry, RowText *cache)
{
    const pugi::xml_node instance(t.entries[entry].instance), property(t.entries[entry].property);
    const pugi::xml_attribute id = instance.attribute("id");
    Referrer r;
    r.file = t.file;
    r.element = cache ? cache->name(instance.name()) : QString::fromUtf8(instance.name());
    r.id = id ? QString::fromUtf8(id.value()) : QString();
    if (property)
        r.property = cache ? cache->caption(property.name()) : NameToCaption(QString::fromUtf8(property.name()));
    r.instance = InstanceWalk::ref(instance);
    return r;
}

} // namespace

struct ReferenceIndex::Data {
    std::shared_ptr<const ReferenceTable> table;
    std::unique_ptr<Build> building; // begun for the state of a document its table names
    QHash<QString, FileRefs> files; // the other files of a folder, by absolute path
};

Referrer ReferrerList::at(qsizetype row) const
{
    return rowOf(*m_table, m_rows.at(row), nullptr);
}

QList<Referrer> ReferrerList::toList() const
{
    QList<Referrer> out;
    out.reserve(m_rows.size());
    RowText cache;
    for (const quint32 entry : m_rows)
        out.append(rowOf(*m_table, entry, &cache));
    return out;
}

bool ReferrerList::isCurrentFor(const XmlDocument &doc) const
{
    return m_table && m_table->isCurrentFor(doc);
}

ReferenceIndex::ReferenceIndex() : d(std::make_unique<Data>()) { }
ReferenceIndex::~ReferenceIndex() = default;

bool ReferenceIndex::isCurrentFor(const XmlDocument &doc) const
{
    return d->table && d->table->isCurrentFor(doc);
}

void ReferenceIndex::clear()
{
    d = std::make_unique<Data>();
}

bool ReferenceIndex::buildSome(const XmlDocument &doc, qsizetype maxInstances)
{
    if (isCurrentFor(doc))
        return true;
    if (!d->building || !d->building->table->isCurrentFor(doc)) {
        d->table.reset(); // outdated: its memory goes before the new table takes any
        d->building = std::make_unique<Build>(doc);
    }
    if (!d->building->step(doc, maxInstances))
        return false;
    d->table = std::move(d->building->table);
    d->building.reset();
    return true;
}

ReferrerList ReferenceIndex::referrerList(const XmlDocument &doc, const QString &id)
{
    ReferrerList list;
    if (!doc.hasChildNodes() || id.isEmpty())
        return list;
    buildSome(doc, -1);
    const QByteArray key = id.toUtf8();
    list.m_table = d->table;
    list.m_rows = d->table->find(std::string_view(key.constData(), size_t(key.size())));
    return list;
}

QList<Referrer> ReferenceIndex::referrers(const XmlDocument &doc, const QString &id)
{
    return referrerList(doc, id).toList();
}

namespace {

// The other XML files of doc's folder, in name order, each once: the document itself, and a
// file seen already under another name, are passed over.
QList<QFileInfo> otherFilesOf(const XmlDocument &doc)
{
    const QString self = resolveDocumentPart(doc.path(), {});
    QSet<QString> seen{fileKey(self)}; // by fileKey
    QList<QFileInfo> others;
    const QFileInfoList files = QFileInfo(self).absoluteDir().entryInfoList(
        {QStringLiteral("*.xml")}, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &info : files) {
        const QString key = fileKey(QDir::cleanPath(info.absoluteFilePath()));
        if (!seen.contains(key)) {
            seen.insert(key);
            others << info;
        }
    }
    return others;
}

QString cleanPathOf(const QFileInfo &info)
{
    return QDir::cleanPath(info.absoluteFilePath());
}

bool readAsItIs(const FileRefs &read, const QFileInfo &info)
{
    return read.size == info.size() && read.modified == info.lastModified();
}

} // namespace

// The hrefs of other files, by path, as read on any thread.
struct ReferenceIndex::FolderFiles {
    QHash<QString, FileRefs> files;
};

QList<QFileInfo> ReferenceIndex::folderFilesToRead(const XmlDocument &doc) const
{
    return doc.path().isEmpty() ? QList<QFileInfo>() : unreadOf(otherFilesOf(doc));
}

QList<QFileInfo> ReferenceIndex::unreadOf(const QList<QFileInfo> &files) const
{
    QList<QFileInfo> toRead;
    for (const QFileInfo &info : files) {
        const auto read = d->files.constFind(cleanPathOf(info));
        if (read == d->files.cend() || !readAsItIs(*read, info))
            toRead << info;
    }
    return toRead;
}

std::shared_ptr<ReferenceIndex::FolderFiles> ReferenceIndex::readFolderFiles(const QList<QFileInfo> &files)
{
    auto read = std::make_shared<FolderFiles>();
    for (const QFileInfo &info : files) {
        const QString path = cleanPathOf(info);
        // Size and time as listed, before the read: a change while it reads has it read again.
        FileRefs &refs = read->files[path];
        refs = FileRefs{info.lastModified(), info.size(), {}};
        XmlDocument other;
        if (!other.load(path))
            continue; // a file that cannot be read is passed over
        forEachReference(other, [&](ElementRef instance, ElementRef property, bool isHref, const char *value) {
            std::string_view part, target;
            if (!isHref || !splitHref(value, part, target))
                return;
            refs.refs.append({resolveDocumentPart(path, QString::fromUtf8(part.data(), qsizetype(part.size()))),
                              QString::fromUtf8(target.data(), qsizetype(target.size())),
                              referrerOf(path, instance, property)});
        });
    }
    return read;
}

void ReferenceIndex::keepFolderFiles(const FolderFiles &read)
{
    for (auto it = read.files.cbegin(); it != read.files.cend(); ++it)
        d->files.insert(it.key(), it.value());
}

QList<Referrer> ReferenceIndex::referrersInFolder(const XmlDocument &doc, const QString &id)
{
    if (doc.path().isEmpty() || id.isEmpty())
        return {};
    const QList<QFileInfo> others = otherFilesOf(doc);
    if (const QList<QFileInfo> toRead = unreadOf(others); !toRead.isEmpty())
        keepFolderFiles(*readFolderFiles(toRead));
    const QString selfKey = fileKey(resolveDocumentPart(doc.path(), {}));
    QHash<QString, bool> namesSelf; // by the file an href names, once per question
    QList<Referrer> found;
    for (const QFileInfo &info : others) {
        for (const FolderRef &r : std::as_const(d->files[cleanPathOf(info)].refs)) {
            if (r.id != id)
                continue;
            auto named = namesSelf.find(r.target);
            if (named == namesSelf.end())
                named = namesSelf.insert(r.target, fileKey(r.target) == selfKey);
            if (*named)
                found.append(r.from);
        }
    }
    return found;
}

} // namespace quillon
