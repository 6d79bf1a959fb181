#include "picker/instancelistmodel.h"

#include "document/encoding.h"
#include "document/instancewalk.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstring>

namespace quillon {

std::vector<PickerRow> instanceRowsOf(const XmlNode &node, const std::atomic<bool> *stop)
{
    std::vector<PickerRow> rows;
    // Documents hold many instances of few types: keep one copy of each type name.
    QHash<QByteArray, QString> types;
    const InstanceWalk walk(node);
    if (!walk.isLoaded())
        return rows;
    for (InstanceCursor c(walk.documentElement()); !c.atEnd(); c.advance()) {
        if (stop && stop->load(std::memory_order_relaxed))
            return {};
        const pugi::xml_node inst = c.instance();
        const QByteArray name = QByteArray::fromRawData(inst.name(), qsizetype(std::strlen(inst.name())));
        auto it = types.constFind(name);
        if (it == types.constEnd())
            it = types.insert(QByteArray(name), encoding::toQString(name));
        const pugi::xml_attribute id = inst.first_attribute();
        rows.push_back({*it, id ? encoding::toQString(id.value()) : QString()});
    }
    return rows;
}

QStringList distinctTypes(const std::vector<PickerRow> &rows)
{
    QStringList types;
    QSet<QString> seen;
    const QChar *last = nullptr;
    for (const PickerRow &row : rows) {
        if (row.type.constData() == last)
            continue; // the same shared string as the row before
        last = row.type.constData();
        if (!seen.contains(row.type)) {
            seen.insert(row.type);
            types << row.type;
        }
    }
    return types;
}

static bool rowMatches(const PickerRow &row, const QString &needle)
{
    return row.type.contains(needle, Qt::CaseInsensitive) || row.id.contains(needle, Qt::CaseInsensitive);
}

std::vector<int> filterInstanceRows(const std::vector<PickerRow> &rows, const QString &needle)
{
    std::vector<int> result;
    const int count = static_cast<int>(rows.size());
    if (needle.isEmpty()) {
        result.resize(rows.size());
        for (int i = 0; i < count; ++i)
            result[static_cast<size_t>(i)] = i;
        return result;
    }
    for (int i = 0; i < count; ++i) {
        if (rowMatches(rows[static_cast<size_t>(i)], needle))
            result.push_back(i);
    }
    return result;
}

std::vector<int> filterInstanceRows(const std::vector<PickerRow> &rows, const std::vector<int> &among,
                                    const QString &needle)
{
    std::vector<int> result;
    for (int i : among) {
        if (i < 0 || i >= static_cast<int>(rows.size()))
            continue;
        if (needle.isEmpty() || rowMatches(rows[static_cast<size_t>(i)], needle))
            result.push_back(i);
    }
    return result;
}

InstanceListModel::InstanceListModel(QObject *parent) : QAbstractTableModel(parent) { }

void InstanceListModel::setRows(std::vector<PickerRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_shown = isFiltered() ? filterInstanceRows(m_rows, m_filter) : std::vector<int>();
    endResetModel();
}

void InstanceListModel::clear()
{
    setRows({});
}

void InstanceListModel::setFilterText(const QString &text)
{
    if (text == m_filter)
        return;
    // A filter that only grew can only drop rows from what is shown now.
    const bool narrowing = isFiltered() && text.contains(m_filter, Qt::CaseInsensitive);
    std::vector<int> shown;
    if (!text.isEmpty())
        shown = narrowing ? filterInstanceRows(m_rows, m_shown, text) : filterInstanceRows(m_rows, text);
    const bool sameRows = isFiltered() && !text.isEmpty() && shown == m_shown;
    if (sameRows) {
        m_filter = text;
        return;
    }
    beginResetModel();
    m_filter = text;
    m_shown = std::move(shown);
    endResetModel();
}

int InstanceListModel::sourceRow(int shownRow) const
{
    if (shownRow < 0 || shownRow >= rowCount())
        return -1;
    return isFiltered() ? m_shown[static_cast<size_t>(shownRow)] : shownRow;
}

int InstanceListModel::shownRow(int sourceRow) const
{
    if (sourceRow < 0 || sourceRow >= totalCount())
        return -1;
    if (!isFiltered())
        return sourceRow;
    const auto it = std::lower_bound(m_shown.begin(), m_shown.end(), sourceRow);
    if (it == m_shown.end() || *it != sourceRow)
        return -1;
    return static_cast<int>(it - m_shown.begin());
}

const PickerRow *InstanceListModel::rowAt(int shownRow) const
{
    const int row = sourceRow(shownRow);
    return row < 0 ? nullptr : &m_rows[static_cast<size_t>(row)];
}

int InstanceListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return isFiltered() ? static_cast<int>(m_shown.size()) : totalCount();
}

int InstanceListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant InstanceListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const PickerRow *row = rowAt(index.row());
    if (!row)
        return {};
    return index.column() == TypeColumn ? row->type : row->id;
}

QVariant InstanceListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TypeColumn:
        return tr("Type");
    case IdColumn:
        return tr("ID");
    default:
        return {};
    }
}

Qt::ItemFlags InstanceListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace quillon
