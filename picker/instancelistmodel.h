#pragma once
// The rows of the instance picker: a flat store of (type, id) pairs in document order, the
// filter over it, and the table model the picker's list view shows.
//
// The filter keeps a vector of row indexes, so narrowing a million rows costs one pass of
// plain substring tests and the view only ever asks for the rows it paints.

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

namespace quillon {

class XmlNode;

struct PickerRow {
    QString type; // the instance element's name, exactly as written
    QString id; // the text of its first attribute; empty when it has none
    bool operator==(const PickerRow &) const = default;
};

// The instances of the document node belongs to (any node of it): every element matched by
// "/uos/*/aim-instances/*", in document order. Equal type names share one string. It only reads
// the document, and node keeps it alive: a worker thread may call it while nothing changes the
// document. Once *stop (when given) turns true it ends soon, returning no rows.
std::vector<PickerRow> instanceRowsOf(const XmlNode &node, const std::atomic<bool> *stop = nullptr);

// Indexes (ascending) of the rows whose type or id contains needle, ignoring case. An empty
// needle keeps every row.
std::vector<int> filterInstanceRows(const std::vector<PickerRow> &rows, const QString &needle);
// The same, looking only at the rows listed in among (ascending); used to narrow an existing
// result when the filter text grows.
std::vector<int> filterInstanceRows(const std::vector<PickerRow> &rows, const std::vector<int> &among,
                                    const QString &needle);

// The distinct type names of rows, in order of first appearance (rows share one string per
// type, so this is a cheap pass even over a million rows).
QStringList distinctTypes(const std::vector<PickerRow> &rows);

class InstanceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TypeColumn = 0, IdColumn = 1, ColumnCount = 2 };

    explicit InstanceListModel(QObject *parent = nullptr);

    // Replaces all rows (one model reset); the current filter text applies to the new rows.
    void setRows(std::vector<PickerRow> rows);
    void clear();
    const std::vector<PickerRow> &allRows() const { return m_rows; }
    int totalCount() const { return static_cast<int>(m_rows.size()); }

    // Narrows the shown rows to those whose type or id contains text, ignoring case; an
    // empty text shows every row. One model reset when the shown rows change.
    void setFilterText(const QString &text);
    QString filterText() const { return m_filter; }

    // Shown row <-> index into allRows(). sourceRow gives -1 out of range; shownRow gives -1
    // when the row is filtered out or out of range.
    int sourceRow(int shownRow) const;
    int shownRow(int sourceRow) const;
    // The row shown at shownRow, or nullptr out of range.
    const PickerRow *rowAt(int shownRow) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    bool isFiltered() const { return !m_filter.isEmpty(); }

    std::vector<PickerRow> m_rows;
    std::vector<int> m_shown; // used only while a filter is set
    QString m_filter;
};

} // namespace quillon
