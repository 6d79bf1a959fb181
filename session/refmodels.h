#pragma once
// The lists of the "Referenced by" and "Check" tabs: plain models over the referrers of the
// instance shown and over the findings of Check References.

#include "refs/refcheck.h"
#include "refs/refindex.h"

#include <QAbstractItemModel>
#include <QAbstractTableModel>

namespace quillon {

class AsyncJob;
class EditorSession;

// The instances that refer to the instance a session shows: columns "Instance", "Id",
// "Property", "File". It follows the session only while active (the tab on show), so that a
// large document's index is not built for nobody.
class ReferencedByModel : public QAbstractTableModel {
    Q_OBJECT
    Q_PROPERTY(bool readingOtherFiles READ readingOtherFiles)
public:
    explicit ReferencedByModel(EditorSession *session, QObject *parent = nullptr);

    void setActive(bool active);
    // The other XML files of the document's folder are searched too.
    void setOtherFiles(bool on);
    bool otherFiles() const { return m_otherFiles; }
    // How long one step of building the document's index may take before the window's events
    // are handled (25 ms unless set).
    void setStepTime(int ms) { m_stepMs = ms; }
    // Other files to be read (new to the index, or changed on disk) that come to more than
    // this many bytes are read on a worker (16 MiB unless set): the document's own referrers
    // are listed meanwhile, and theirs once they are in.
    void setReadAtOnceBytes(qint64 bytes) { m_readAtOnceBytes = bytes; }
    bool readingOtherFiles() const { return m_readingFolder; }
    // Asks anew for the instance shown now.
    void refresh();
    Referrer referrer(int row) const;
    // The id whose referrers are listed ("" when no instance is shown).
    QString target() const { return m_target; }
    // What the tab says in place of an empty list: "No instance refers to <caption id>." for
    // an instance shown that nothing refers to; "" while there are rows or no instance, or
    // while the document's index is being built or other files are read.
    QString emptyText() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void changed();
    // Goes on with the index of doc for a step; when it is not done, the next step follows
    // once the window's events are handled.
    bool buildIndex(const XmlDocument &doc);
    void nextStep();
    void listReferrers(const XmlDocument &doc); // of m_target
    void readFolderBeside(const QList<QFileInfo> &files);
    EditorSession *m_session;
    // The document's own referrers, each row made when shown, then those of other files.
    ReferrerList m_local;
    QList<Referrer> m_folder;
    QString m_target;
    QString m_targetCaption; // the target's element name as the tree shows it
    bool m_active = false;
    bool m_stale = true;
    bool m_otherFiles = false;
    bool m_building = false; // the index of the document is being built for m_target
    bool m_stepQueued = false;
    int m_stepMs = 25;
    bool m_readingFolder = false; // m_target's referrers in other files wait for m_folderJob
    AsyncJob *m_folderJob = nullptr; // reading other files of the folder
    qint64 m_readAtOnceBytes = qint64(16) << 20;
    std::pair<const DocData *, quint64> m_askedOf; // the state of the document m_target was asked of
};

// The findings of a check, grouped by kind: a row per kind, "kind (count)" with the count in
// the locale's digits and group separators, in the order the kinds first come; below it the
// findings of that kind in their order, columns "File", "Line", "Kind", "Message". Setting the
// findings only counts them by kind; which findings a group holds is found when the group is
// first asked for its rows (expanded), and a row's texts when it is shown, so that a kind with
// a hundred thousand findings costs nothing until it is looked at.
class FindingsModel : public QAbstractItemModel {
    Q_OBJECT
public:
    using QAbstractItemModel::QAbstractItemModel;
    void setFindings(const QList<Finding> &findings);
    // The finding of a row below a group; a default Finding for a group's row.
    Finding finding(const QModelIndex &index) const;
    // The row of the group of kind (invalid when there is none).
    QModelIndex groupOf(const QString &kind) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Group {
        QString kind;
        int count = 0;
        mutable QList<qsizetype> members; // places in m_findings, found when first asked for
    };
    // A group's row has internal id 0; a finding's row the number of its group + 1.
    const Group *groupAt(const QModelIndex &index) const;
    const QList<qsizetype> &membersOf(const Group &g) const;
    QList<Finding> m_findings;
    QList<Group> m_groups;
};

} // namespace quillon
