#include "picker/instancelistmodel.h"

#include "document/encoding.h"
#include "document/instancewalk.h"

#include <QTimer>

#include <algorithm>
#include <cstring>

namespace quillon {

PickerRows::PickerRows(std::initializer_list<PickerRow> rows) : PickerRows(std::vector<PickerRow>(rows)) { }

PickerRows::PickerRows(const std::vector<PickerRow> &rows)
{
    for (const PickerRow &row : rows)
        append(row.type, row.id);
}

void PickerRows::append(const QString &type, QStringView id)
{
    const qsizetype known = m_types.indexOf(type);
    appendId(known >= 0 ? int(known) : addType(type), id);
}

int PickerRows::addType(const QString &type)
{
    m_types << type;
    return int(m_types.size() - 1);
}

QChar *PickerRows::idSpace(qsizetype size)
{
    if (m_ids.empty() || m_ids.back().size() + size > m_ids.back().capacity()) {
        // Each text twice the one before, from 4 Ki up to 1 Mi characters (or one id).
        const qsizetype room = m_ids.empty() ? 4096 : std::min(m_ids.back().capacity() * 2, qsizetype(1) << 20);
        m_ids.emplace_back();
        m_ids.back().reserve(std::max(size, room));
    }
    QString &text = m_ids.back();
    text.resize(text.size() + size); // within its capacity: the text does not move
    return text.data() + text.size() - size;
}

void PickerRows::addRow(qsizetype size, int type)
{
    const QString &text = m_ids.back();
    m_rows.push_back({int(m_ids.size() - 1), int(text.size() - size), int(size), type});
}

void PickerRows::appendId(int type, QStringView id)
{
    std::copy(id.begin(), id.end(), idSpace(id.size()));
    addRow(id.size(), type);
}

void PickerRows::appendUtf8Id(int type, std::string_view id)
{
    // Ids are mostly ASCII: those are widened in place, the others decoded.
    const qsizetype size = qsizetype(id.size());
    QChar *out = idSpace(size);
    for (qsizetype i = 0; i < size; ++i) {
        if (uchar(id[size_t(i)]) >= 0x80) {
            m_ids.back().chop(size);
            appendId(type, encoding::toQString(id.data(), size));
            return;
        }
        out[i] = QLatin1Char(id[size_t(i)]);
    }
    addRow(size, type);
}

QStringView PickerRows::id(qsizetype i) const
{
    const Row &row = m_rows[size_t(i)];
    return QStringView(m_ids[size_t(row.text)].constData() + row.idStart, row.idSize);
}

std::vector<PickerRow> PickerRows::toVector() const
{
    std::vector<PickerRow> rows;
    rows.reserve(m_rows.size());
    for (qsizetype i = 0; i < size(); ++i)
        rows.push_back(at(i));
    return rows;
}

PickerRowsWalk::PickerRowsWalk(const XmlNode &node)
    : m_document(node), m_stamp(InstanceWalk(node).changeStamp()), m_cursor(InstanceWalk(node).documentElement())
{
}

void PickerRowsBuilder::instance(std::string_view name, std::string_view firstValue)
{
    if (m_lastType < 0 || name != m_lastName) {
        const QByteArray key = QByteArray::fromRawData(name.data(), qsizetype(name.size()));
        auto it = m_types.constFind(key);
        if (it == m_types.constEnd())
            it = m_types.insert(QByteArray(key), m_rows.addType(encoding::toQString(name.data(), key.size())));
        m_lastName = name;
        m_lastType = *it;
    }
    m_rows.appendUtf8Id(m_lastType, firstValue);
}

void PickerRowsWalk::step(int count)
{
    for (; count > 0 && !m_cursor.atEnd(); --count, m_cursor.advance()) {
        const pugi::xml_node inst = m_cursor.instance();
        const pugi::xml_attribute id = inst.first_attribute();
        m_rows.instance(inst.name(), id ? id.value() : "");
    }
}

PickerRows instanceRowsOf(const XmlNode &node)
{
    PickerRowsWalk walk(node);
    while (!walk.atEnd())
        walk.step(4096);
    return walk.takeRows();
}

namespace {

// Tells the rows whose type or id contains a needle, ignoring case; each type is tested once.
class RowMatch {
public:
    RowMatch(const PickerRows &rows, const QString &needle) : m_rows(rows), m_needle(needle)
    {
        for (const QString &type : rows.types())
            m_type.push_back(type.contains(needle, Qt::CaseInsensitive));
    }
    bool operator()(int i) const
    {
        return m_type[size_t(m_rows.typeOf(i))] || m_rows.id(i).contains(m_needle, Qt::CaseInsensitive);
    }

private:
    const PickerRows &m_rows;
    const QString &m_needle;
    std::vector<bool> m_type;
};

} // namespace

std::vector<int> filterInstanceRows(const PickerRows &rows, const QString &needle)
{
    std::vector<int> result;
    const int count = static_cast<int>(rows.size());
    if (needle.isEmpty()) {
        result.resize(rows.size());
        for (int i = 0; i < count; ++i)
            result[static_cast<size_t>(i)] = i;
        return result;
    }
    const RowMatch matches(rows, needle);
    for (int i = 0; i < count; ++i) {
        if (matches(i))
            result.push_back(i);
    }
    return result;
}

std::vector<int> filterInstanceRows(const PickerRows &rows, const std::vector<int> &among, const QString &needle)
{
    std::vector<int> result;
    const RowMatch matches(rows, needle);
    for (int i : among) {
        if (i < 0 || i >= static_cast<int>(rows.size()))
            continue;
        if (needle.isEmpty() || matches(i))
            result.push_back(i);
    }
    return result;
}

InstanceListModel::InstanceListModel(QObject *parent) : QAbstractTableModel(parent) { }

void InstanceListModel::setRows(PickerRows rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_shown = isFiltered() ? filterInstanceRows(m_rows, m_filter) : std::vector<int>();
    resetRevealed();
    endResetModel();
}

void InstanceListModel::resetRevealed()
{
    m_revealed = std::min(shownCount(), m_revealStep);
    if (m_revealed < shownCount() && !m_revealQueued) {
        m_revealQueued = true;
        QTimer::singleShot(0, this, &InstanceListModel::revealMore);
    }
}

void InstanceListModel::revealMore()
{
    m_revealQueued = false;
    if (m_revealed >= shownCount())
        return;
    revealUpTo(m_revealed + m_revealStep - 1);
    if (m_revealed < shownCount()) {
        m_revealQueued = true;
        QTimer::singleShot(0, this, &InstanceListModel::revealMore);
    }
}

void InstanceListModel::revealUpTo(int shownRow)
{
    const int last = std::min(shownRow, shownCount() - 1);
    if (last < m_revealed)
        return;
    beginInsertRows({}, m_revealed, last);
    m_revealed = last + 1;
    endInsertRows();
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
    resetRevealed();
    endResetModel();
}

int InstanceListModel::sourceRow(int shownRow) const
{
    if (shownRow < 0 || shownRow >= m_revealed)
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

std::optional<PickerRow> InstanceListModel::rowAt(int shownRow) const
{
    const int row = sourceRow(shownRow);
    return row < 0 ? std::nullopt : std::optional<PickerRow>(m_rows.at(row));
}

QModelIndex InstanceListModel::index(int row, int column, const QModelIndex &parent) const
{
    // As QAbstractTableModel's, without asking the counts through virtual calls: a view laying
    // out a million rows asks for each.
    if (row < 0 || row >= m_revealed || column < 0 || column >= ColumnCount || parent.isValid())
        return {};
    return createIndex(row, column);
}

int InstanceListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_revealed;
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
    const int row = sourceRow(index.row());
    if (row < 0)
        return {};
    return index.column() == TypeColumn ? m_rows.type(row) : m_rows.id(row).toString();
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
