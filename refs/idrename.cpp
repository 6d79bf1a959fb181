// Rename an id everywhere: the references are found again by the walk the reverse index makes,
// with the element that holds each; the other files are read, changed and written in turn.
#include "refs/idrename.h"
#include "document/filesink.h"
#include "model/refs.h"
#include "refs/refwalk_p.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <map>

namespace quillon {

namespace {

// The changes that point every reference of d to the instance oldId of the file `target`
// (d's own file when same) at newId: (holding element, attribute name, new value).
struct Repoint {
    pugi::xml_node element;
    const char *attribute;
    QString value;
};

std::vector<Repoint> repoints(const InstanceWalk &d, const QString &holder, const QString &target, bool same,
                              const std::string &oldId, const QString &newId)
{
    std::vector<Repoint> out;
    forEachReferenceNode(d, [&](pugi::xml_node, pugi::xml_node, bool isHref, const char *value, pugi::xml_node n) {
        if (!isHref) {
            if (same && oldId == value)
                out.push_back({n, "ref", newId});
            return;
        }
        std::string_view part, id;
        if (!splitHref(value, part, id) || id != oldId)
            return;
        const QString partText = QString::fromUtf8(part.data(), qsizetype(part.size()));
        if (same ? !namesHolder(holder, partText) : !sameDocument(resolveDocumentPart(holder, partText), target))
            return;
        const std::string_view rest = std::string_view(value).substr(part.size() + 1 + id.size());
        out.push_back({n, "href", partText + QLatin1Char('#') + newId + QString::fromUtf8(rest.data(), rest.size())});
    });
    return out;
}

// The elements of d (the file `holder`) that hold a reference to the instance id of the file
// `target` (d's own when same), once each, in document order.
QList<XmlNode> holdersIn(const XmlDocument &d, const QString &holder, const QString &target, bool same,
                         const std::string &id)
{
    QList<XmlNode> out;
    const XmlNode root = d.documentElement();
    for (const Repoint &r : repoints(InstanceWalk(d), holder, target, same, id, {})) {
        const XmlNode element = root.at(InstanceWalk::ref(r.element));
        if (out.isEmpty() || out.last() != element)
            out.append(element);
    }
    return out;
}

struct OtherFile {
    QString path;
    QByteArray before; // the bytes on disk, put back when a later file cannot be written
    std::unique_ptr<XmlDocument> doc;
};

} // namespace

IdRenamePlan IdRename::plan(const XmlDocument &doc, ReferenceIndex &index, const QString &oldId, const QString &newId)
{
    IdRenamePlan p{oldId, newId, {}, {}, {}};
    if (newId.isEmpty())
        p.refusal = QCoreApplication::translate("IdRename", "The new id is empty.");
    else if (doc.findInstance(newId))
        p.refusal =
            QCoreApplication::translate("IdRename", "The id \"%1\" is already used in this document.").arg(newId);
    else if (!doc.findInstance(oldId))
        p.refusal = QCoreApplication::translate("IdRename", "There is no instance with the id \"%1\".").arg(oldId);
    if (!p.refusal.isEmpty())
        return p;
    p.inDocument = index.referrers(doc, oldId);
    p.inFolder = index.referrersInFolder(doc, oldId);
    return p;
}

QString IdRename::changeFiles(const QList<Referrer> &inFolder, const FileChange &change, QStringList *written)
{
    // Every file, changed in memory, before anything is written.
    std::map<QString, bool> names; // name order, once each
    for (const Referrer &r : inFolder)
        names.emplace(r.file, true);
    std::vector<OtherFile> others;
    for (const auto &[path, unused] : names) {
        OtherFile o{path, {}, std::make_unique<XmlDocument>()};
        QFile file(path);
        if (const QString why = FileSink::refusal(path); !why.isEmpty())
            return QStringLiteral("%1: %2").arg(path, why);
        if (!file.open(QIODevice::ReadOnly) || !o.doc->load(path))
            return QStringLiteral("%1: %2").arg(path, file.isOpen() ? o.doc->errorString() : file.errorString());
        o.before = file.readAll();
        if (const QString why = change(*o.doc, path); !why.isEmpty())
            return QStringLiteral("%1: %2").arg(path, why);
        others.push_back(std::move(o));
    }
    // Written in turn; a failure puts the old bytes back into the files written before it.
    for (size_t i = 0; i < others.size(); ++i) {
        if (others[i].doc->save(others[i].path))
            continue;
        const QString why = QStringLiteral("%1: %2").arg(others[i].path, others[i].doc->errorString());
        for (size_t j = 0; j < i; ++j)
            if (const QString back = FileSink::writeWhole(others[j].path, others[j].before); !back.isEmpty())
                return why + QCoreApplication::translate("IdRename", "\n%1 could not be put back: %2")
                                 .arg(others[j].path, back);
        return why;
    }
    if (written) {
        written->clear();
        for (const OtherFile &o : others)
            written->append(o.path);
    }
    return {};
}

QString IdRename::apply(XmlDocument &doc, const IdRenamePlan &plan, EditStep *step, QStringList *written)
{
    if (!plan.refusal.isEmpty())
        return plan.refusal;
    const std::string oldId = plan.oldId.toStdString();
    const QString renamed = changeFiles(
        plan.inFolder,
        [&](XmlDocument &other, const QString &path) {
            const XmlNode root = other.documentElement();
            for (const Repoint &r : repoints(InstanceWalk(other), path, doc.path(), false, oldId, plan.newId))
                root.at(InstanceWalk::ref(r.element)).setAttribute(QString::fromLatin1(r.attribute), r.value);
            return QString();
        },
        written);
    if (!renamed.isEmpty())
        return renamed;
    const XmlNode root = doc.documentElement();
    EditStep s;
    for (const Repoint &r : repoints(InstanceWalk(doc), doc.path(), doc.path(), true, oldId, plan.newId))
        s.append(
            XmlChange::setAttribute(root.at(InstanceWalk::ref(r.element)), QString::fromLatin1(r.attribute), r.value));
    s.append(XmlChange::setAttribute(doc.findInstance(plan.oldId), QStringLiteral("id"), plan.newId));
    if (step)
        *step = std::move(s);
    return {};
}

QString IdRename::remove(XmlDocument &doc, const XmlNode &instance, const QString &id, const QList<Referrer> &inFolder,
                         EditStep *step, QStringList *written)
{
    // The document's step is made first, so that nothing is written for an instance that
    // cannot be taken out; a file that cannot be written takes it back.
    const bool wasModified = doc.isModified();
    const QList<XmlNode> holders = referenceHolders(doc, id);
    EditStep s;
    s.append(XmlChange::removeNode(instance));
    if (s.isEmpty()) {
        if (step)
            *step = {};
        return {};
    }
    for (const XmlNode &holder : holders)
        s.append(XmlChange::removeNode(holder)); // null for one inside the instance or another holder
    const std::string target = id.toStdString();
    const QString removed = changeFiles(
        inFolder,
        [&](XmlDocument &other, const QString &path) {
            for (const XmlNode &holder : holdersIn(other, path, doc.path(), false, target))
                XmlChange::removeNode(holder);
            return holdersIn(other, path, doc.path(), false, target).isEmpty()
                       ? QString()
                       : QCoreApplication::translate("IdRename", "A reference to %1 cannot be removed.").arg(id);
        },
        written);
    if (!removed.isEmpty()) {
        s.undo();
        doc.setModified(wasModified);
        return removed;
    }
    if (step)
        *step = std::move(s);
    return {};
}

QList<XmlNode> IdRename::referenceHolders(const XmlDocument &doc, const QString &id)
{
    return holdersIn(doc, doc.path(), doc.path(), true, id.toStdString());
}

} // namespace quillon
