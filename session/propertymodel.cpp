// The rows of the property list as an item model.
#include "session/propertymodel.h"
#include "session/pictures.h"

#include <QSize>

namespace quillon {

PropertyModel::PropertyModel(QObject *parent) : QAbstractTableModel(parent) { }

void PropertyModel::setRows(const QList<PropertyRow> &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void PropertyModel::setRow(int index, const PropertyRow &row)
{
    if (!isValidRow(index))
        return;
    m_rows[index] = row;
    emit dataChanged(this->index(index, 0), this->index(index, 1));
}

int PropertyModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PropertyModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant PropertyModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const PropertyRow &r = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? r.caption : r.value;
    case Qt::DecorationRole:
        if (index.column() == 0 && r.isReference())
            return linkIcon();
        return {};
    case Qt::SizeHintRole:
        // Asked of the value column, whose fitted width is never taken from it.
        if (index.column() == 1 && m_rowHeight > 0)
            return QSize(0, m_rowHeight);
        return {};
    case ReferenceRole:
        return r.isReference();
    default:
        return {};
    }
}

QVariant PropertyModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 1)
        return {};
    return section == 0 ? tr("Property") : tr("Value");
}

Qt::ItemFlags PropertyModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace quillon
