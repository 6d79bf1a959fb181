#pragma once
// What a host needs of the Quillon library: the factory of its editor control. The control is
// then reached by name through Qt's meta-object system, as any host reaches it. Every method
// and property the control offers is listed here, one a line indented by five spaces, as
// "type Name(parameters)" or "type Name (access)"; a test holds the list to the control.
//
//   Methods (Q_INVOKABLE)
//     bool LoadProfile(QString file)    shows the document in file; false when it cannot be read
//                                       (LastError says why; the document shown before stays)
//     bool SaveProfile()                writes the document to its file when it changed
//     bool SaveProfileAs(QString file)  writes it to file, which becomes its file
//     void SaveItemChanges(bool save)   closes an open in-place edit, keeping or dropping it
//     void Back()                       "<< Back": one step back along the history
//     bool FindInstance()               "Select Instance" on the document shown; OK shows the
//                                       instance chosen as a followed reference does (Back
//                                       returns); false without a document or when cancelled
//     int CheckReferences()             checks the references of the document shown and lists
//                                       the findings on the "Check" tab, which comes forward;
//                                       the number of findings (-1 without a document)
//     bool CompareWith(QString file)    compares file (the old version) with the document shown
//                                       as it stands in memory (the new one) and lists the
//                                       instances removed, changed and added on the "Compare"
//                                       tab, which comes forward; false, after an "Error" box,
//                                       without a document or when file cannot be read
//   Properties
//     int ViewMode (read, write)        0 "ARM", 1 "Mapping", 2 "AIM"
//     bool IsEditing (read)             an in-place edit is open
//     QString LastError (read)          why the last load or save failed ("" otherwise)
//     QString FileName (read)           the file of the document shown
//     bool Modified (read, notify ModifiedChanged(bool))  the document has unsaved edits
//     QString FilePath (read, notify FilePathChanged(QString))  the full path of the document
//     int InstanceCount (read, notify DocumentShown())  its instances, counted when it loaded
//     qint64 LastOpenMs (read, notify DocumentShown())  how long its load took (ms; -1: none)
//     bool CanGoBack (read, notify CanGoBackChanged(bool))  Back has somewhere to go
//     QString PugixmlVersion (read)     the version of the XML parser built in ("1.13")
//     int InstanceIds (read, write)     how the tree shows an instance node's id: 0 not at all,
//                                       1 in grey after the caption (default), 2 in a column
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
//
// Installed as <prefix>/include/quillon/quillon.h with quillon_export.h; a CMake host links
// the library with find_package(Quillon) and target_link_libraries(host PRIVATE Quillon::Quillon).

#include "quillon_export.h"

class QWidget;

// Check References without a window: checks the files together and prints the report to
// stdout, one finding a line: "file:line: kind: message", or with json != 0 one JSON object a
// line (JSON Lines) with the members "file", "line", "kind", "id" and "message". Returns 0 when
// nothing was found, 1 when something was, 2 when a file cannot be read.
extern "C" QUILLON_EXPORT int QuillonCheckReferences(int fileCount, const char *const *files, int json);

// A new control for the programmatic identifier "Quillon.CtrlXMLEditor", a child of parent;
// null for any other identifier.
extern "C" QUILLON_EXPORT QWidget *QuillonCreateControl(const char *progId, QWidget *parent);

// Writes the reference graph around instance `id` of the document `file` (depth 1 or 2) to
// `out`: SVG when its name ends in ".svg" (any case), PNG otherwise. Needs no window: when the
// program has no QApplication yet, one is made on the "offscreen" platform. Returns 0 on
// success; 1 when the document cannot be read, 2 when it has no instance `id`, 3 when the
// picture cannot be laid out or written (`out` is written as documents are saved: a pipe, a
// device or a folder is refused, and a picture already there stays as it was when the write
// fails). The reason goes to stderr.
extern "C" QUILLON_EXPORT int QuillonExportGraph(const char *file, const char *id, int depth, const char *out);

// Compare two versions without a window: instances matched by id; prints one line per instance
// removed, changed or added ("kind id Caption"), and under a changed one a line per row whose
// value or reference changed ("    Property: old → new"); with json != 0 one JSON object a
// line with the members "change", "id", "instance" and, for a changed one, "properties" (each
// with "property", "old", "new"). Returns 0 when the versions are equal, 1 when they differ, 2
// when a file cannot be read (the reason goes to stderr).
extern "C" QUILLON_EXPORT int QuillonDiffDocuments(const char *oldFile, const char *newFile, int json);

// Find by value without a window: the rows of the instances of `file` whose values, property
// names, element names or ids hold `pattern`, in document order, one a line
// ("Caption<TAB>id<TAB>Property<TAB>Value"), or with json != 0 one JSON object a line with the
// members "instance", "id", "property", "value", "column" (which of the four matched: "instance",
// "id", "property" or "value") and "start" and "length" of the match in it (UTF-16 units).
// options: QuillonFind* flags; type: only instances of that element name (null or "" for all).
// Returns 0 when something was found, 1 when nothing was, 2 when the file cannot be read or the
// pattern is not a valid regular expression (the reason goes to stderr).
enum { QuillonFindMatchCase = 1, QuillonFindWholeWord = 2, QuillonFindRegex = 4 };
extern "C" QUILLON_EXPORT int QuillonFindInDocument(const char *pattern, const char *file, int options,
                                                    const char *type, int json);
