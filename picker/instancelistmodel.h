#pragma once
// The rows of the instance picker: a flat store of (type, id) pairs in document order, the
// filter over it, and the table model the picker's list view shows.
//
// A million rows are not two million strings: the store keeps each type name once and the ids
// one after another in a few texts. The filter keeps a vector of row indexes, so narrowing a
// million rows costs one pass of plain substring tests. The view lays out every row (an index
// and its flags each, answered without a lookup) but asks the data only of the rows it paints.

#include "document/instancewalk.h"
#include "document/wellformed.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct PickerRow {
    QString type; // the instance element's name, exactly as written
    QString id; // the text of its first attribute; empty when it has none
    bool operator==(const PickerRow &) const = default;
};

// The rows, in order: the type names once each, the ids one after another in a few texts.
class PickerRows {
public:
    PickerRows() = default;
    PickerRows(std::initializer_list<PickerRow> rows);
    PickerRows(const std::vector<PickerRow> &rows);

    void append(const QString &type, QStringView id);
    qsizetype size() const { return qsizetype(m_rows.size()); }
    bool empty() const { return m_rows.empty(); }
    PickerRow at(qsizetype i) const { return {type(i), id(i).toString()}; }
    const QString &type(qsizetype i) const { return m_types[typeOf(i)]; }
    int typeOf(qsizetype i) const { return m_rows[size_t(i)].type; } // its index in types()
    QStringView id(qsizetype i) const;
    // The distinct type names, in order of first appearance.
    const QStringList &types() const { return m_types; }
    std::vector<PickerRow> toVector() const;
    bool operator==(const PickerRows &o) const { return toVector() == o.toVector(); }

private:
    friend class PickerRowsBuilder;
    int addType(const QString &type);
    void appendId(int type, QStringView id);
    void appendUtf8Id(int type, std::string_view id);

    // Room for the next id in the last text of m_ids, which gets a new one when full: a row
    // once added never moves, so that the steps of a walk over millions of instances each take
    // as long as their own rows do.
    QChar *idSpace(qsizetype size);
    void addRow(qsizetype size, int type);

    struct Row {
        int text; // in m_ids
        int idStart;
        int idSize;
        int type; // in m_types
    };
    std::deque<Row> m_rows;
    QStringList m_types;
    std::vector<QString> m_ids;
};

// Adds a row for each instance it is told of (type and id in UTF-8): from a parsed document
// (PickerRowsWalk) or from the check of a file read as a stream (scanInstances).
class PickerRowsBuilder : public InstanceSink {
public:
    void instance(std::string_view name, std::string_view firstValue) override;
    PickerRows take() { return std::move(m_rows); }

private:
    PickerRows m_rows;
    // Documents hold many instances of few types, often one type after another: the name of
    // the instance before is tried first.
    QHash<QByteArray, int> m_types;
    std::string m_lastName;
    int m_lastType = -1;
};

// Gathers the rows of the instances of the document node belongs to (any node of it): every
// element matched by "/uos/*/aim-instances/*", in document order. It goes in steps, each from the
// instance where the last one ended, so that the thread that owns the document can do it between
// its other work. It only reads the document, and keeps it alive; between two steps the document
// must not change, which documentChanged() tells.
class PickerRowsWalk {
public:
    explicit PickerRowsWalk(const XmlNode &node);
    bool atEnd() const { return m_cursor.atEnd(); }
    // Gathers the rows of up to count more instances.
    void step(int count);
    // The document changed since the walk began (its change stamp differs).
    bool documentChanged() const { return InstanceWalk(m_document).changeStamp() != m_stamp; }
    PickerRows takeRows() { return m_rows.take(); }

private:
    XmlNode m_document;
    quint64 m_stamp;
    InstanceCursor m_cursor;
    PickerRowsBuilder m_rows;
};

// All the rows at once.
PickerRows instanceRowsOf(const XmlNode &node);

// Indexes (ascending) of the rows whose type or id contains needle, ignoring case. An empty
// needle keeps every row.
std::vector<int> filterInstanceRows(const PickerRows &rows, const QString &needle);
// The same, looking only at the rows listed in among (ascending); used to narrow an existing
// result when the filter text grows.
std::vector<int> filterInstanceRows(const PickerRows &rows, const std::vector<int> &among, const QString &needle);

class InstanceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TypeColumn = 0, IdColumn = 1, ColumnCount = 2 };

    explicit InstanceListModel(QObject *parent = nullptr);

    // Replaces all rows (one model reset); the current filter text applies to the new rows.
    // Of a longer list, a reset brings the first rows (2^19 unless setRevealStep), and the
    // others come as insertions of as many, one between two of the window's events: a view
    // takes memory for every row it gets, faulted in as it goes, which for all of 4.5 million
    // at once held the window 0.10–0.16 s.
    void setRows(PickerRows rows);
    void setRevealStep(int rows) { m_revealStep = std::max(1, rows); }
    // Brings every row up to shownRow at once (when not all are there yet).
    void revealUpTo(int shownRow);
    void clear();
    const PickerRows &allRows() const { return m_rows; }
    int totalCount() const { return static_cast<int>(m_rows.size()); }

    // Narrows the shown rows to those whose type or id contains text, ignoring case; an
    // empty text shows every row. One model reset when the shown rows change.
    void setFilterText(const QString &text);
    QString filterText() const { return m_filter; }

    // Shown row <-> index into allRows(). sourceRow gives -1 out of range; shownRow gives -1
    // when the row is filtered out or out of range (it may be one still to come: revealUpTo).
    int sourceRow(int shownRow) const;
    int shownRow(int sourceRow) const;
    // The row shown at shownRow, or none out of range.
    std::optional<PickerRow> rowAt(int shownRow) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    bool isFiltered() const { return !m_filter.isEmpty(); }
    int shownCount() const { return isFiltered() ? static_cast<int>(m_shown.size()) : totalCount(); }
    // After a reset: the rows the view gets at once; the rest follow (revealMore).
    void resetRevealed();
    void revealMore();

    PickerRows m_rows;
    std::vector<int> m_shown; // used only while a filter is set
    QString m_filter;
    int m_revealed = 0; // of the rows shown, those the view has: rowCount()
    int m_revealStep = 1 << 19;
    bool m_revealQueued = false;
};

} // namespace quillon
