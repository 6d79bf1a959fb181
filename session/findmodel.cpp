#include "session/findmodel.h"
#include "model/refs.h"
#include "session/editorsession.h"

#include <QLocale>
#include <QPoint>
#include <QSet>

#include <cstring>

namespace quillon {

FindModel::FindModel(EditorSession *session, QObject *parent) : QAbstractTableModel(parent), m_session(session)
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &FindModel::step);
    // The rows name instances of the document searched: another document drops them.
    connect(session, &EditorSession::documentShown, this, [this] {
        if (!searchedIsShown())
            clear();
    });
}

FindModel::~FindModel() = default;

void FindModel::clear()
{
    stop();
    beginResetModel();
    m_rows.clear();
    m_find.reset();
    m_searched = nullptr;
    m_error.clear();
    endResetModel();
    emit statusChanged();
}

bool FindModel::start(const FindOptions &options)
{
    clear();
    const XmlDocument *doc = m_session->document();
    if (!doc || !doc->hasChildNodes()) {
        m_error = tr("No document to search.");
    } else {
        m_find = std::make_unique<DocumentFind>(*doc, options);
        m_searched = doc->documentId();
        if (!m_find->isValid())
            m_error = options.pattern.isEmpty() ? tr("Nothing to find.") : m_find->error();
    }
    if (!m_error.isEmpty()) {
        m_find.reset();
        emit statusChanged();
        return false;
    }
    m_timer.start();
    emit runningChanged(true);
    emit statusChanged();
    return true;
}

void FindModel::stop()
{
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    emit runningChanged(false);
    emit statusChanged();
}

void FindModel::step()
{
    QList<FindRow> found;
    const bool more = m_find && m_find->next(DocumentFind::ViewStepRows, found, m_stepSize);
    if (!found.isEmpty()) {
        beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + found.size() - 1));
        m_rows.append(found);
        endInsertRows();
    }
    if (!more)
        stop();
    else if (!found.isEmpty())
        emit statusChanged();
}

QString FindModel::status() const
{
    if (!m_error.isEmpty())
        return m_error;
    if (!m_find)
        return {};
    const QString count = QLocale().toString(m_rows.size());
    if (isRunning())
        return tr("Searching... %1 found").arg(count);
    if (m_find->stale())
        return tr("%1 found; the document changed since.").arg(count);
    return m_find->atEnd() ? tr("%1 found.").arg(count) : tr("%1 found; stopped.").arg(count);
}

bool FindModel::searchedIsShown() const
{
    const XmlDocument *doc = m_session->document();
    return m_searched && doc && doc->documentId() == m_searched;
}

XmlNode FindModel::instanceOf(int index) const
{
    if (index < 0 || index >= m_rows.size() || !searchedIsShown() || m_find->stale())
        return {};
    return m_session->document()->documentElement().at(m_rows[index].instance);
}

int FindModel::propertyRowOf(int index) const
{
    const XmlNode instance = instanceOf(index);
    if (!instance || !m_rows[index].propertyElement || m_session->shownInstance() != instance)
        return -1;
    const QList<PropertyRow> &rows = m_session->rows()->rows();
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (rows[i].element.ref() == m_rows[index].propertyElement)
            return int(i);
    return -1;
}

QStringList FindModel::instanceTypes() const
{
    const XmlDocument *doc = m_session->document();
    if (!doc)
        return {};
    QSet<QByteArray> names;
    const char *last = "";
    doc->forEachInstance([&](ElementRef e) {
        if (std::strcmp(e.name(), last) != 0)
            names.insert(QByteArray(last = e.name()));
    });
    QStringList types;
    for (const QByteArray &name : std::as_const(names))
        types << NameToCaption(QString::fromUtf8(name));
    types.removeDuplicates();
    types.sort(Qt::CaseInsensitive);
    return types;
}

int FindModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int FindModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant FindModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const FindRow &r = m_rows[index.row()];
    if (role == MatchRole)
        return int(r.column) == index.column() ? QVariant(QPoint(int(r.start), int(r.length))) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case 0:
        return r.caption;
    case 1:
        return r.id;
    case 2:
        return r.property;
    default:
        return r.value;
    }
}

QVariant FindModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const names[] = {QT_TR_NOOP("Instance"), QT_TR_NOOP("Id"), QT_TR_NOOP("Property"),
                                        QT_TR_NOOP("Value")};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
        return {};
    return tr(names[section]);
}

} // namespace quillon
