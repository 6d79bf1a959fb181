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

QString IdRename::apply(XmlDocument &doc, const IdRenamePlan &plan, EditStep *step, QStringList *written)
{
    if (!plan.refusal.isEmpty())
        return plan.refusal;
    const std::string oldId = plan.oldId.toStdString();
    // Every other file, changed in memory, before anything is written.
    std::map<QString, bool> names; // name order, once each
    for (const Referrer &r : plan.inFolder)
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
        const XmlNode root = o.doc->documentElement();
        for (const Repoint &r : repoints(InstanceWalk(*o.doc), path, doc.path(), false, oldId, plan.newId))
            root.at(InstanceWalk::ref(r.element)).setAttribute(QString::fromLatin1(r.attribute), r.value);
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

QList<XmlNode> IdRename::referenceHolders(const XmlDocument &doc, const QString &id)
{
    QList<XmlNode> out;
    const XmlNode root = doc.documentElement();
    for (const Repoint &r : repoints(InstanceWalk(doc), doc.path(), doc.path(), true, id.toStdString(), id)) {
        const XmlNode holder = root.at(InstanceWalk::ref(r.element));
        if (out.isEmpty() || out.last() != holder)
            out.append(holder);
    }
    return out;
}

} // namespace quillon
