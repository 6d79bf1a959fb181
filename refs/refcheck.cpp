#include "refs/refcheck.h"
#include "refs/refindex.h"
#include "document/hugepages.h"
#include "model/refs.h"
#include "refs/refwalk_p.h"
#include "document/strtable_p.h"
#include "document/filenames.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <strings.h>
#include <map>
#include <memory>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>

namespace quillon {

namespace {

QString str(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// Whether an element name has a lower-case letter (differs from its upper-case form); ASCII
// names are told without a conversion.
bool nameHasLowerCase(const char *name)
{
    bool ascii = true;
    for (const char *p = name; *p; ++p) {
        if (*p >= 'a' && *p <= 'z')
            return true;
        ascii = ascii && static_cast<unsigned char>(*p) < 0x80;
    }
    return !ascii && hasLowerCase(QString::fromUtf8(name));
}

using Node = pugi::xml_node;

// The first element at n or after it among its siblings (backwards: at n or before it).
Node elementAt(Node n)
{
    while (n && n.type() != pugi::node_element)
        n = n.next_sibling();
    return n;
}
Node elementBack(Node n)
{
    while (n && n.type() != pugi::node_element)
        n = n.previous_sibling();
    return n;
}

// "<name a="v">": how a finding shows an element.
QString tagText(Node e)
{
    QString t = QLatin1Char('<') + QString::fromUtf8(e.name());
    if (const pugi::xml_attribute a = e.first_attribute())
        t += QStringLiteral(" %1=\"%2\"").arg(QString::fromUtf8(a.name()), QString::fromUtf8(a.value()));
    return t + QLatin1Char('>');
}

// A finding before its line is known. "%LINE" in the message stands for the line of `other`.
struct Pending {
    Node at;
    const char *kind;
    QString id;
    QString message;
    Node other;
};

// A key of the document (an instance's id, a ref's value) and the element that holds it.
struct KeyAt {
    KeyRef key;
    Node at;
    size_t pendingBefore = 0; // for an id: the findings before the one it may give
};

// What one document holds: its instances by id, and its references to follow up.
struct DocFacts {
    const XmlDocument *doc = nullptr;
    QString path; // absolute, clean: how hrefs name it
    StringTable<Node> ids; // the first instance of each id
    std::vector<KeyAt> idKeys, refs; // in document order
    std::vector<std::pair<Node, const char *>> hrefs;
    std::vector<Pending> pending;

    void add(Node at, const char *kind, const QString &id, const QString &message, Node other = {})
    {
        pending.push_back({at, kind, id, message, other});
    }
    void walk();
    void checkInstance(Node e);
    void checkRows(Node instance);
    void indexIds();
    void checkRefs();
};

// Per depth of the walk: how the ARM view treats the element there.
struct Level {
    bool armShown = false; // the ARM view has a node for it
    bool armStopped = false; // its walk of children met a name with a lower-case letter
    const char *stopper = "";
    bool instances = false; // it is /uos/*/aim-instances
};

void DocFacts::walk()
{
    const InstanceWalk d(*doc);
    const Node root = d.documentElement();
    if (!root)
        return;
    if (std::strcmp(root.name(), "uos") != 0) {
        add(root, "ignored-element", {},
            QCoreApplication::translate(
                "ReferenceCheck",
                "the document element is <%1>, not <uos>: no view shows the document and no reference "
                "finds its instances")
                .arg(QString::fromUtf8(root.name())));
        return;
    }
    // An instance takes some dozens of bytes of text, a reference a dozen at the least: the
    // room kept is address space, touched only as far as it is used.
    reserveHuge(idKeys, d.sourceSize() / 64 + 16);
    reserveHuge(refs, d.sourceSize() / 48 + 16);
    std::vector<Level> levels(2);
    Node e = elementAt(root.first_child());
    int depth = 1;
    while (e) {
        const char *name = e.name();
        if (int(levels.size()) <= depth + 1)
            levels.resize(size_t(depth) + 2);
        Level &here = levels[size_t(depth)];
        Level &parent = levels[size_t(depth - 1)];
        here = Level{};

        // The ARM view: every section is a root node; below, children in capitals are shown
        // up to the first name with a lower-case letter, where the walk of the parent stops.
        const bool lower = nameHasLowerCase(name);
        if (depth == 1) {
            here.armShown = true;
        } else if (parent.armShown && !parent.armStopped) {
            if (!lower) {
                here.armShown = true;
            } else {
                parent.armStopped = true;
                parent.stopper = name;
                // A click on the parent selects its last child: with attributes, the first is
                // shown as a reference.
                const Node last = elementBack(e.parent().last_child());
                const pugi::xml_attribute first = last.first_attribute();
                if (first && !referenceKind(first.name()))
                    add(last, "not-a-reference", {},
                        QCoreApplication::translate(
                            "ReferenceCheck",
                            "the ARM view shows %1 as a reference, but its first attribute is neither ref "
                            "nor href")
                            .arg(tagText(last)));
            }
        } else if (parent.armShown && !lower) {
            add(e, "ignored-element", {},
                QCoreApplication::translate(
                    "ReferenceCheck",
                    "the ARM view does not show <%1>: it stops at <%2> before it, the first element of "
                    "<%3> whose name has a lower-case letter")
                    .arg(QString::fromUtf8(name), QString::fromUtf8(parent.stopper),
                         QString::fromUtf8(e.parent().name())));
        }

        if ((name[0] | 0x20) == 'a' && strcasecmp(name, "aim-instances") == 0) {
            const QString n = QString::fromUtf8(name);
            if (depth == 2 && std::strcmp(name, "aim-instances") == 0)
                here.instances = true;
            else if (depth == 2)
                add(e, "ignored-element", {},
                    QCoreApplication::translate(
                        "ReferenceCheck",
                        "<%1> is not written aim-instances: the tree takes it for one, but no reference "
                        "or lookup finds the instances in it")
                        .arg(n));
            else if (depth == 1)
                add(e, "ignored-element", {},
                    QCoreApplication::translate("ReferenceCheck",
                                                "<%1> stands directly in <uos>: instances are found only in "
                                                "/uos/<section>/aim-instances")
                        .arg(n));
            else
                add(e, "ignored-element", {},
                    QCoreApplication::translate(
                        "ReferenceCheck",
                        "<%1> is nested too deep: instances are found only in /uos/<section>/aim-instances, "
                        "and the Mapping view hides it")
                        .arg(n));
        }
        if (depth == 3 && parent.instances)
            checkInstance(e);

        const ReferenceAttributes r = referenceAttributes(e);
        if (r.ref)
            refs.push_back({KeyRef(r.ref), e});
        if (r.href)
            hrefs.emplace_back(e, r.href);

        // Depth first, without recursion.
        if (const Node child = elementAt(e.first_child())) {
            e = child;
            ++depth;
            continue;
        }
        Node next;
        while (depth > 0 && !(next = elementAt(e.next_sibling()))) {
            e = e.parent();
            --depth;
        }
        e = depth > 0 ? next : Node();
    }
}

void DocFacts::checkInstance(Node e)
{
    const pugi::xml_attribute id = e.attribute("id");
    if (!id) {
        add(e, "missing-id", {},
            QCoreApplication::translate("ReferenceCheck",
                                        "the instance %1 has no id attribute: no reference can reach it")
                .arg(tagText(e)));
    } else {
        if (std::strcmp(e.first_attribute().name(), "id") != 0)
            add(e, "id-not-first", QString::fromUtf8(id.value()),
                QCoreApplication::translate(
                    "ReferenceCheck",
                    "the first attribute of %1 is not its id: the tree, the caption of the list and Back "
                    "read the first attribute as the id")
                    .arg(tagText(e)));
        // A second instance of the id is told once all are known (indexIds), in this place.
        idKeys.push_back({KeyRef(id.value()), e, pending.size()});
    }
    if (!nameHasLowerCase(e.name()))
        add(e, "ignored-element", id ? QString::fromUtf8(id.value()) : QString(),
            QCoreApplication::translate("ReferenceCheck",
                                        "the AIM view does not show %1: its name has no lower-case letter")
                .arg(tagText(e)));
    checkRows(e);
}

// A property whose first child node is an element is a reference row: the list reads that
// element's first attribute as the reference.
void DocFacts::checkRows(Node instance)
{
    for (Node c = elementAt(instance.first_child()); c; c = elementAt(c.next_sibling())) {
        const Node r = c.first_child();
        if (r.type() != pugi::node_element || *embeddedText(c))
            continue;
        const char *first = r.first_attribute().name();
        if (*first && referenceKind(first))
            continue;
        const QString row = NameToCaption(QString::fromUtf8(c.name()));
        if (!*first)
            add(r, "not-a-reference", {},
                QCoreApplication::translate(
                    "ReferenceCheck",
                    "the row \"%1\" holds <%2> without attributes: the list cannot show this instance "
                    "(Exception in \"PopulateInstance\")")
                    .arg(row, QString::fromUtf8(r.name())));
        else
            add(r, "not-a-reference", {},
                QCoreApplication::translate(
                    "ReferenceCheck",
                    "the row \"%1\" reads the first attribute of %2 as a reference: ref or href must come "
                    "first")
                    .arg(row, tagText(r)));
    }
}

// Ahead of the key at hand, the loops over a million keys ask for the slot of a later key and
// for the key stored there: each would otherwise be a miss of the cache in its turn.
constexpr size_t kAhead = 8;

void DocFacts::indexIds()
{
    ids = StringTable<Node>(idKeys.size()); // no growing on the way
    std::vector<std::pair<size_t, Pending>> duplicates; // (findings before it, the finding)
    const size_t n = idKeys.size();
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n)
            ids.prefetchSlot(idKeys[i + kAhead].key);
        const KeyAt &k = idKeys[i];
        const auto [first, added] = ids.tryEmplace(k.key, k.at);
        if (added)
            continue;
        const QString id = QString::fromUtf8(k.key.data, qsizetype(k.key.size));
        duplicates.push_back(
            {k.pendingBefore,
             {k.at, "duplicate-id", id,
              QCoreApplication::translate(
                  "ReferenceCheck",
                  "id \"%1\" is used by the instance on line %LINE already: a click on a reference to "
                  "\"%1\", or on this instance's node in the tree, shows and edits that first instance, "
                  "not this one")
                  .arg(id),
              *first}});
    }
    if (duplicates.empty())
        return;
    // Each in its place among the findings of the walk.
    std::vector<Pending> merged;
    merged.reserve(pending.size() + duplicates.size());
    size_t next = 0;
    for (auto &[before, p] : duplicates) {
        while (next < before)
            merged.push_back(std::move(pending[next++]));
        merged.push_back(std::move(p));
    }
    while (next < pending.size())
        merged.push_back(std::move(pending[next++]));
    pending = std::move(merged);
}

void DocFacts::checkRefs()
{
    const size_t n = refs.size();
    for (size_t i = 0; i < n; ++i) {
        if (i + 2 * kAhead < n)
            ids.prefetchSlot(refs[i + 2 * kAhead].key);
        if (i + kAhead < n) {
            ids.prefetchStoredKey(refs[i + kAhead].key);
            __builtin_prefetch(refs[i + kAhead].key.data);
        }
        const KeyAt &r = refs[i];
        if (ids.find(r.key))
            continue;
        const QString value = QString::fromUtf8(r.key.data, qsizetype(r.key.size));
        add(r.at, "unknown-ref", value,
            r.key.size ? QCoreApplication::translate("ReferenceCheck", "ref \"%1\" names no instance of this document")
                             .arg(value)
                       : QCoreApplication::translate("ReferenceCheck", "the ref of <%1> is empty")
                             .arg(QString::fromUtf8(r.at.name())));
    }
}

// The first instance of each id of d, as findInstance finds them.
void collectIds(const InstanceWalk &d, StringTable<Node> &ids)
{
    std::vector<KeyAt> keys;
    d.forEachInstance([&keys](Node instance) {
        if (const pugi::xml_attribute id = instance.attribute("id"))
            keys.push_back({KeyRef(id.value()), instance});
    });
    ids = StringTable<Node>(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i + kAhead < keys.size())
            ids.prefetchSlot(keys[i + kAhead].key);
        ids.tryEmplace(keys[i].key, keys[i].at);
    }
}

// Which file a path names: its device and inode where it exists, so that every name of one
// file (a link, a hard link, another spelling) is the same; otherwise the path itself.
struct FileIdentity {
    bool exists = false;
    bool missing = false; // no such file (not: one that is there but cannot be looked at)
    dev_t device = 0;
    ino_t inode = 0;
    QString path; // only when it cannot be looked at

    explicit FileIdentity(const QString &p)
    {
        struct stat st;
        exists = !p.isEmpty() && ::stat(encodeFileName(p).constData(), &st) == 0;
        missing = !exists && (p.isEmpty() || errno == ENOENT || errno == ENOTDIR);
        if (exists) {
            device = st.st_dev;
            inode = st.st_ino;
        } else {
            path = p;
        }
    }
    bool operator<(const FileIdentity &o) const
    {
        return std::tie(exists, device, inode, path) < std::tie(o.exists, o.device, o.inode, o.path);
    }
    bool operator==(const FileIdentity &o) const
    {
        return exists == o.exists && device == o.device && inode == o.inode && path == o.path;
    }
};

// The hrefs of all documents, grouped by the file they name, so that each file is read once.
struct HrefTarget {
    QString file; // the first name it was met by
    FileIdentity identity;
    std::vector<std::pair<DocFacts *, size_t>> uses; // (holder, index into its hrefs)
};

void checkHrefs(std::vector<DocFacts> &docs)
{
    std::vector<HrefTarget> targets; // in the order first named
    std::map<FileIdentity, size_t> byIdentity;
    QHash<QString, size_t> byName;
    const auto targetOf = [&](const QString &file) -> HrefTarget & {
        auto named = byName.constFind(file);
        if (named == byName.cend()) {
            FileIdentity identity(file);
            auto [it, added] = byIdentity.try_emplace(identity, targets.size());
            if (added)
                targets.push_back({file, std::move(identity), {}});
            named = byName.insert(file, it->second);
        }
        return targets[named.value()];
    };
    for (DocFacts &f : docs) {
        QHash<QString, QString> resolved; // document part -> file, once per part
        for (size_t i = 0; i < f.hrefs.size(); ++i) {
            const auto &[e, value] = f.hrefs[i];
            const std::string_view v(value);
            std::string_view partText, idText;
            const bool split = splitHref(v, partText, idText);
            const QString id = str(idText);
            if (!split || id.isEmpty()) {
                f.add(e, "unknown-href", id,
                      QCoreApplication::translate("ReferenceCheck", "href \"%1\" has no \"#id\" part").arg(str(v)));
                continue;
            }
            const QString part = str(partText); // "" names the holder itself
            auto it = resolved.find(part);
            if (it == resolved.end())
                it = resolved.insert(part, resolveDocumentPart(f.path, part));
            targetOf(it.value()).uses.emplace_back(&f, i);
        }
    }
    std::vector<FileIdentity> checked; // of each document of the check
    checked.reserve(docs.size());
    for (const DocFacts &f : docs)
        checked.emplace_back(f.path);
    for (HrefTarget &target : targets) {
        const QString &file = target.file;
        const XmlDocument *in = nullptr;
        const DocFacts *facts = nullptr; // a document of the check: its ids are known
        for (size_t d = 0; d < docs.size(); ++d)
            if (checked[d] == target.identity || sameDocument(docs[d].path, file)) {
                const DocFacts &f = docs[d];
                in = f.doc;
                facts = &f;
            }
        std::unique_ptr<XmlDocument> read;
        StringTable<Node> readIds; // the first instance of each id of a file read here
        QString error;
        if (!in) {
            read = std::make_unique<XmlDocument>();
            if (read->loadForReading(file)) {
                in = read.get();
                collectIds(InstanceWalk(*read), readIds);
            } else {
                error = read->errorString();
            }
        }
        const StringTable<Node> &ids = facts ? facts->ids : readIds;
        for (const auto &[f, i] : target.uses) {
            const auto &[e, value] = f->hrefs[i];
            const QString v = QString::fromUtf8(value);
            const QString id = RefPieces(v).piece(1);
            if (!in)
                f->add(e, target.identity.missing ? "missing-file" : "unreadable", id,
                       QCoreApplication::translate("ReferenceCheck", "href \"%1\": the file cannot be read: %2")
                           .arg(v, error));
            else if (!ids.find(std::string_view(id.toUtf8())))
                f->add(e, "unknown-href", id,
                       QCoreApplication::translate("ReferenceCheck", "href \"%1\": %2 has no instance with id \"%3\"")
                           .arg(v, QFileInfo(file).fileName(), id));
        }
    }
}

// The id of the instance that holds e (or is e), when that id finds it; "" otherwise.
QString instanceIdOf(const DocFacts &f, Node e)
{
    Node instance, property;
    instanceAndPropertyOf(e, instance, property);
    if (!instance || std::strcmp(instance.parent().name(), "aim-instances") != 0)
        return {};
    const pugi::xml_attribute id = instance.attribute("id");
    const Node *first = id ? f.ids.find(std::string_view(id.value())) : nullptr;
    return first && *first == instance ? QString::fromUtf8(id.value()) : QString();
}

QList<Finding> collect(DocFacts &f)
{
    QList<ElementRef> at;
    at.reserve(qsizetype(f.pending.size() * 2));
    for (const Pending &p : f.pending)
        at << InstanceWalk::ref(p.at) << InstanceWalk::ref(p.other);
    const QList<int> lines = f.doc->lineNumbers(at);
    QList<Finding> out;
    out.reserve(qsizetype(f.pending.size()));
    for (size_t i = 0; i < f.pending.size(); ++i) {
        Pending &p = f.pending[i];
        QString message = p.message;
        if (p.other)
            message.replace(QLatin1String("%LINE"), QString::number(lines[qsizetype(2 * i + 1)]));
        out.append({f.doc->path(), lines[qsizetype(2 * i)], 0, QString::fromLatin1(p.kind), p.id, message,
                    instanceIdOf(f, p.at)});
    }
    std::stable_sort(out.begin(), out.end(), [](const Finding &a, const Finding &b) { return a.line < b.line; });
    return out;
}

} // namespace

namespace {

// The findings of each document, in the order given (none for one that holds no document).
std::vector<QList<Finding>> checkEach(const QList<const XmlDocument *> &documents)
{
    std::vector<DocFacts> docs;
    docs.reserve(size_t(documents.size()));
    std::vector<size_t> given; // the place among documents of each of docs
    for (qsizetype i = 0; i < documents.size(); ++i) {
        const XmlDocument *doc = documents[i];
        if (!doc || !doc->hasChildNodes())
            continue;
        DocFacts &f = docs.emplace_back();
        f.doc = doc;
        f.path = doc->path().isEmpty() ? QString() : resolveDocumentPart(QString(), doc->path());
        f.walk();
        f.indexIds();
        f.checkRefs();
        given.push_back(size_t(i));
    }
    checkHrefs(docs);
    std::vector<QList<Finding>> out(size_t(documents.size()));
    for (size_t d = 0; d < docs.size(); ++d)
        out[given[d]] = collect(docs[d]);
    return out;
}

} // namespace

QList<Finding> ReferenceCheck::check(const QList<const XmlDocument *> &documents)
{
    QList<Finding> out;
    for (QList<Finding> &findings : checkEach(documents))
        out += std::move(findings);
    return out;
}

QList<Finding> ReferenceCheck::checkFiles(const QStringList &files, bool *unreadable)
{
    std::vector<std::unique_ptr<XmlDocument>> docs;
    QList<const XmlDocument *> read;
    std::vector<bool> loaded;
    for (const QString &file : files) {
        auto doc = std::make_unique<XmlDocument>();
        loaded.push_back(doc->loadForReading(file));
        read << (loaded.back() ? doc.get() : nullptr);
        docs.push_back(std::move(doc));
    }
    std::vector<QList<Finding>> each = checkEach(read);
    QList<Finding> out;
    bool failed = false;
    for (size_t i = 0; i < docs.size(); ++i) {
        const XmlDocument &doc = *docs[i];
        if (loaded[i]) {
            out += std::move(each[i]);
            continue;
        }
        failed = true;
        out.append({files[qsizetype(i)], int(doc.errorLine()), int(doc.errorColumn()), QStringLiteral("unreadable"),
                    {}, doc.errorString(), {}});
    }
    if (unreadable)
        *unreadable = failed;
    return out;
}

} // namespace quillon
