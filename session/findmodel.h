#pragma once
// The list of the "Find" tab: the rows a DocumentFind finds in the document a session shows,
// columns "Instance", "Id", "Property", "Value". A search runs in steps from the event loop
// (a zero-time timer), each step searching a bounded number of instances, so that the window
// keeps answering and the first rows come at once; stop() ends it, and a new search ends the
// one before. The rows stay until the next search or until another document is shown; a
// change of the document ends a search under way (its rows stay, see instanceOf()).

#include "refs/documentfind.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QTimer>

#include <memory>

namespace quillon {

class EditorSession;

class FindModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The match in a cell: QPoint(start, length) in its text, on the column that matched only.
    enum Roles { MatchRole = Qt::UserRole + 1 };

    explicit FindModel(EditorSession *session, QObject *parent = nullptr);
    ~FindModel() override;

    // Ends the search under way, drops the rows and searches the document shown for options.
    // False, with error(), when there is no document or the pattern is empty or not valid.
    bool start(const FindOptions &options);
    void stop();
    bool isRunning() const { return m_timer.isActive(); }
    QString error() const { return m_error; }
    // What the tab's status line says: "Searching... n found", "n found", the error.
    QString status() const;
    // The instances a step searches at most (the tests make it small).
    void setStepSize(qsizetype instances) { m_stepSize = instances; }

    const FindRow &row(int index) const { return m_rows.at(index); }
    // The very instance a row stands for, while the document shown is the one searched and
    // unchanged since; null otherwise (then it is found again by its id).
    XmlNode instanceOf(int index) const;
    // The property list's row for the row's property, once its instance is on show; -1 when
    // the row stands for the instance or its id, or the list shows another instance.
    int propertyRowOf(int index) const;
    // The instance types of the document shown, as the tree captions them, sorted.
    QStringList instanceTypes() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // The search started or ended (statusChanged comes with it).
    void runningChanged(bool running);
    void statusChanged();

private:
    void step();
    void clear();
    bool searchedIsShown() const;

    EditorSession *m_session;
    std::unique_ptr<DocumentFind> m_find; // keeps the document searched alive for the rows
    const void *m_searched = nullptr; // that document's identity
    QList<FindRow> m_rows;
    QString m_error;
    QTimer m_timer;
    qsizetype m_stepSize = DocumentFind::ViewStepInstances;
};

} // namespace quillon
