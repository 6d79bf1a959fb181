#pragma once
// The list of the "Compare" tab: how the document a session shows differs from another file.
// The other file is the old version and the document shown (as it stands in memory, edits
// included) the new one. A row per instance removed, changed or added (DocumentDiff's order:
// removed and changed in the old version's order, then added in the new one's), columns
// "Instance", "Id", "Change"; under a changed one a row per property whose value or reference
// changed, "Change" reading "old → new". The result stays until the next comparison or until
// another document is shown.

#include "refs/documentdiff.h"

#include <QAbstractItemModel>

#include <memory>

namespace quillon {

class EditorSession;

class CompareModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit CompareModel(EditorSession *session, QObject *parent = nullptr);
    ~CompareModel() override;

    // Reads the file at path and compares it (old) with the document shown (new). False, with
    // error(), when there is no document shown or the file cannot be read; the list is then empty.
    bool compareWith(const QString &path);
    QString error() const { return m_error; }
    QString otherFile() const { return m_otherFile; }
    // What the tab's line says: the counts by kind, "No differences", or the error.
    QString summary() const;
    int count(InstanceChange::Kind kind) const;

    // The instance change a row stands for (a property's row: its instance's).
    const InstanceChange *change(const QModelIndex &index) const;
    // The id a click on the row shows in the document shown; "" for a removed instance.
    QString shownId(const QModelIndex &index) const;
    // The very instance of the document shown, while it is unchanged since the comparison; null
    // otherwise (then it is found again by its id).
    XmlNode shownElement(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void clear();
    bool currentFor(const XmlDocument *doc) const;

    EditorSession *m_session;
    std::unique_ptr<XmlDocument> m_old;
    XmlNode m_newRoot; // keeps the document compared alive for the result's references
    quint64 m_newStamp = 0;
    QString m_otherFile;
    QString m_error;
    bool m_compared = false;
    // An instance's row has internal id 0; a property's row the number of its instance + 1.
    QList<InstanceChange> m_changes;
};

} // namespace quillon
