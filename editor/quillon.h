#pragma once
// What a host needs of the Quillon library: the factory of its editor control. The control is
// then reached by name through Qt's meta-object system, as any host reaches it:
//
//   Methods (Q_INVOKABLE)
//     bool LoadProfile(QString file)    shows the document in file; false when it cannot be read
//                                       (LastError says why; the document shown before stays)
//     bool SaveProfile()                writes the document to its file when it changed
//     bool SaveProfileAs(QString file)  writes it to file, which becomes its file
//     void SaveItemChanges(bool save)   closes an open in-place edit, keeping or dropping it
//   Properties
//     int ViewMode (read, write)        0 "ARM", 1 "Mapping", 2 "AIM"
//     bool IsEditing (read)             an in-place edit is open
//     QString LastError (read)          why the last load or save failed ("" otherwise)
//     QString FileName (read)           the file of the document shown
//     bool Modified (read, notify ModifiedChanged(bool))  the document has unsaved edits
//
//   Undo and Redo
//     The control's session holds a QUndoStack (objectName "undoStack") with the committed edits
//     and link changes of the document shown; a load clears it, a save marks it clean, and
//     Modified follows its clean state. A host makes Edit-menu actions from it:
//       auto *stack = editor->findChild<QUndoStack *>(QStringLiteral("undoStack"));
//       editMenu->addAction(stack->createUndoAction(editMenu));
//       editMenu->addAction(stack->createRedoAction(editMenu));
//     While the focus is inside the control (not in its in-place edit box, which keeps its own
//     text undo), Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y are the control's, even where a host action
//     has the same shortcut; an undo or redo from a menu drops an in-place edit still open.
//   Size
//     minimumSizeHint() (and minimumSize()) is the size below which the control's children
//     would overlap; it does not shrink further.
//
// Example:
//   QWidget *editor = QuillonCreateControl("Quillon.CtrlXMLEditor", window);
//   bool ok = false;
//   QMetaObject::invokeMethod(editor, "LoadProfile", Q_RETURN_ARG(bool, ok), Q_ARG(QString, path));

#include "quillon_export.h"

class QWidget;

// A new control for the programmatic identifier "Quillon.CtrlXMLEditor", a child of parent;
// null for any other identifier.
extern "C" QUILLON_EXPORT QWidget *QuillonCreateControl(const char *progId, QWidget *parent);
