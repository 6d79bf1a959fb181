#pragma once
// The lists of the "Referenced by" and "Check" tabs: plain models over the referrers of the
// instance shown and over the findings of Check References.

#include "quillon_export.h"
#include "refcheck.h"
#include "refindex.h"

#include <QAbstractTableModel>

namespace quillon {

class EditorSession;

// The instances that refer to the instance a session shows: columns "Instance", "Id",
// "Property", "File". It follows the session only while active (the tab on show), so that a
// large document's index is not built for nobody.
class QUILLON_EXPORT ReferencedByModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ReferencedByModel(EditorSession *session, QObject *parent = nullptr);

    void setActive(bool active);
    // The other XML files of the document's folder are searched too.
    void setOtherFiles(bool on);
    bool otherFiles() const { return m_otherFiles; }
    // Asks anew for the instance shown now.
    void refresh();
    Referrer referrer(int row) const;
    // The id whose referrers are listed ("" when no instance is shown).
    QString target() const { return m_target; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void changed();
    EditorSession *m_session;
    // The document's own referrers, each row made when shown, then those of other files.
    ReferrerList m_local;
    QList<Referrer> m_folder;
    QString m_target;
    bool m_active = false;
    bool m_stale = true;
    bool m_otherFiles = false;
};

// The findings of a check: columns "File", "Line", "Kind", "Message".
class QUILLON_EXPORT FindingsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setFindings(const QList<Finding> &findings);
    Finding finding(int row) const { return m_findings.value(row); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<Finding> m_findings;
};

} // namespace quillon
