#pragma once
// The rows of the property list: one per child element of the instance on show (or the ARM
// view's single row), each holding the element it stands for, its caption, its value, whether
// it is a reference and where that value was read.

#include "document/xmldocument.h"

#include <QAbstractTableModel>
#include <QList>

namespace quillon {

struct PropertyRow {
    // Where a reference row's value was read: from the first attribute of the first child of
    // the row's element (the rows of an instance), or from the first attribute of the row's
    // element itself (the ARM view's single row of a reference element).
    enum class Source { Value, FirstChild, OwnAttribute };

    XmlNode element; // the element the row stands for
    QString caption; // column "Property"
    QString value; // column "Value"
    Source source = Source::Value;

    bool isReference() const { return source != Source::Value; }
};

class PropertyModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Roles { ReferenceRole = Qt::UserRole + 1 };

    explicit PropertyModel(QObject *parent = nullptr);

    void setRows(const QList<PropertyRow> &rows);
    void clear() { setRows({}); }
    // Replaces one row; the view is told about the cells that changed.
    void setRow(int index, const PropertyRow &row);
    const PropertyRow &row(int index) const { return m_rows.at(index); }
    const QList<PropertyRow> &rows() const { return m_rows; }
    bool isValidRow(int index) const { return index >= 0 && index < m_rows.size(); }

    // Height in pixels every row asks for (room for the edit box inside it); 0: the view's own.
    void setRowHeight(int px) { m_rowHeight = px; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QList<PropertyRow> m_rows;
    int m_rowHeight = 0;
};

} // namespace quillon
