#pragma once
// What a session has on show: the instance, the property rows standing for it (or for one
// element, in the ARM view), the document they belong to, the entity caption, and whether the
// list is on show at all (a node with children shows a hint in its place).
//
// It holds the rows and reads them from the instance; the session decides what to show and
// tells the views.

#include "session/propertymodel.h"

#include <QList>
#include <QString>

namespace quillon {

class ShownInstance {
public:
    // rows: the model the views read, owned by the session.
    explicit ShownInstance(PropertyModel *rows) : m_rows(rows) { }

    XmlNode instance() const { return m_instance; }
    void setInstance(const XmlNode &instance) { m_instance = instance; }
    // The element whose children the rows stand for (the ARM view's single reference row
    // stands for it itself); null when the rows stand for nothing.
    XmlNode owner() const { return m_owner; }
    // The document the rows on show belong to.
    QString file() const { return m_file; }
    void setFile(const QString &file) { m_file = file; }
    PropertyModel *rows() const { return m_rows; }
    bool hasRows() const { return m_rows->rowCount() > 0; }
    QString entity() const { return m_entity; }
    void setEntity(const QString &caption) { m_entity = caption; }
    bool listVisible() const { return m_listVisible; }
    void setListVisible(bool visible) { m_listVisible = visible; }

    void clearRows();
    // The rows of the instance, of document file. False when they could not all be read: the
    // rows read so far stay.
    bool fill(const QString &file);
    // The one row the ARM view shows, standing for a child of owner (or for owner itself).
    void showSingleRow(const XmlNode &owner, const PropertyRow &row, const QString &file);
    // The element row stands for, as long as it is one of the rows' owner.
    XmlNode rowElement(const PropertyRow &row) const;
    // located, which the rows stood for, was replaced by placed.
    void replaceOwner(const XmlNode &located, const XmlNode &placed);

    // What the list shows, to be shown again (by an undo or redo).
    struct View {
        QList<PropertyRow> rows;
        XmlNode owner, instance;
        QString entity;
    };
    View view() const { return {m_rows->rows(), m_owner, m_instance, m_entity}; }
    void restore(const View &view, const QString &file);

private:
    XmlNode m_instance; // the instance whose properties are on show
    XmlNode m_owner;
    QString m_file;
    PropertyModel *m_rows;
    QString m_entity;
    bool m_listVisible = false;
};

} // namespace quillon
