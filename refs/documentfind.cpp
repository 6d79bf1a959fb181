// Find by value: a cursor keeps the place among the instances; each step reads the rows of the
// next instances and matches their texts, so it costs only the instances it searches.
#include "refs/documentfind.h"
#include "model/refs.h"
#include "model/instancerows.h"

#include <QCoreApplication>

namespace quillon {

DocumentFind::DocumentFind(const XmlDocument &doc, const FindOptions &options)
    : m_root(doc.documentElement()), m_stamp(doc.changeStamp()), m_options(options)
{
    // Without a document element there is nothing to search (and nothing that keeps the state alive).
    if (m_root)
        m_doc = doc.documentId();
    if (options.pattern.isEmpty()) {
        m_error = QCoreApplication::translate("DocumentFind", "Nothing to find.");
        return;
    }
    m_plain = !options.regex && !options.wholeWord;
    if (m_plain)
        return;
    QString expression = options.regex ? options.pattern : QRegularExpression::escape(options.pattern);
    if (options.wholeWord)
        expression = QStringLiteral("(?<![\\w])(?:%1)(?![\\w])").arg(expression);
    m_re.setPattern(expression);
    m_re.setPatternOptions(QRegularExpression::UseUnicodePropertiesOption |
                           (options.matchCase ? QRegularExpression::NoPatternOption
                                              : QRegularExpression::CaseInsensitiveOption));
    if (!m_re.isValid())
        m_error = QCoreApplication::translate("DocumentFind", "The expression is not valid: %1 (at %2).")
                      .arg(m_re.errorString())
                      .arg(m_re.patternErrorOffset());
}

DocumentFind::~DocumentFind() = default;

bool DocumentFind::stale() const
{
    return m_doc && InstanceWalk(m_root).changeStamp() != m_stamp;
}

bool DocumentFind::match(const QString &text, qsizetype &start, qsizetype &length) const
{
    if (m_plain) {
        start = text.indexOf(m_options.pattern, 0, m_options.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive);
        length = m_options.pattern.size();
        return start >= 0;
    }
    const QRegularExpressionMatch m = m_re.match(text);
    // An expression that matches the empty text matches everywhere: only a match of some text counts.
    if (!m.hasMatch() || m.capturedLength() == 0)
        return false;
    start = m.capturedStart();
    length = m.capturedLength();
    return true;
}

QString DocumentFind::captionOf(const char *name)
{
    if (m_lastName != name) {
        m_lastName = name;
        m_lastCaption = NameToCaption(QString::fromUtf8(name));
    }
    return m_lastCaption;
}

bool DocumentFind::next(qsizetype maxRows, QList<FindRow> &out, qsizetype maxInstances)
{
    if (!isValid() || stale() || !m_doc)
        return false;
    const InstanceWalk d(m_root);
    if (!m_started) {
        m_started = true;
        m_cursor = InstanceCursor(d.documentElement());
    }
    const QByteArray type = m_options.type.toUtf8();
    const QByteArray typeName = CaptionToName(m_options.type).toUtf8();
    qsizetype added = 0;
    for (qsizetype searched = 0; !m_cursor.atEnd() && searched != maxInstances && added < maxRows; ++searched) {
        const pugi::xml_node inst = m_cursor.instance();
        m_cursor.advance();
        if (!type.isEmpty() && type != inst.name() && typeName != inst.name())
            continue;
        FindRow row;
        row.instance = InstanceWalk::ref(inst);
        row.caption = captionOf(inst.name());
        row.id = QString::fromUtf8(inst.attribute("id").value());
        auto add = [&](FindRow::Column column, const QString &text) {
            if (!match(text, row.start, row.length))
                return false;
            row.column = column;
            out.append(row);
            ++added;
            return true;
        };
        if (!add(FindRow::Column::Instance, row.caption))
            add(FindRow::Column::Id, row.id);
        forEachInstanceRow(d, inst, [&](const InstanceRow &r) {
            row.propertyElement = InstanceWalk::ref(r.element);
            row.property = NameToCaption(QString::fromUtf8(r.name));
            row.value = r.value;
            if (!add(FindRow::Column::Property, row.property))
                add(FindRow::Column::Value, row.value);
        });
    }
    return !m_cursor.atEnd();
}

QString DocumentFind::columnName(FindRow::Column column)
{
    switch (column) {
    case FindRow::Column::Instance:
        return QStringLiteral("instance");
    case FindRow::Column::Id:
        return QStringLiteral("id");
    case FindRow::Column::Property:
        return QStringLiteral("property");
    case FindRow::Column::Value:
        break;
    }
    return QStringLiteral("value");
}

} // namespace quillon
