#pragma once
// A document left for another one while the back history still refers to it: the document
// object itself and its undo history (the changes, where the stack stood and where its clean
// state was), so that Back shows it again with Undo as it was, without reading the file again.
//
// The history entries that refer to a document share one KeptDocument; the document object
// goes when the last of them goes. While the document is the one open, its KeptDocument holds
// nothing.

#include "document/xmlchange.h"
#include "session/showninstance.h"

#include <QList>
#include <QPointer>
#include <QString>

namespace quillon {

// One change on an undo stack, as the session's undo command holds it.
struct ChangeRecord {
    XmlChange change;
    ShownInstance::View before, after; // what the list showed on either side of it
    int row = -1;
    bool link = false;
    QString text;
};

struct UndoState {
    QList<ChangeRecord> changes;
    int index = 0;
    int cleanIndex = 0; // -1: no state of the stack is the file's
};

struct KeptDocument {
    KeptDocument() = default;
    KeptDocument(const KeptDocument &) = delete;
    KeptDocument &operator=(const KeptDocument &) = delete;
    ~KeptDocument()
    {
        if (document)
            document->deleteLater();
    }
    bool holdsDocument() const { return !document.isNull(); }

    QPointer<XmlDocument> document;
    QString fileName;
    UndoState undo;
};

} // namespace quillon
