#pragma once
// One editing session without a window: the document on show, the view mode, the tree of the
// document, the instance and the property rows on show, the back history, a jump waiting for
// its document, and whether the document differs from its file.
//
// Every operation runs to its end and hands back what went wrong as a list of reports, in the
// order a user is to be told; the completion of a load (which arrives through the event loop)
// hands its reports over with reported(). Signals say what a view of the session has to
// refresh. The session shows nothing itself.
//
// The session is a façade: the open document (OpenDocument), where it has been and where it is
// going (Navigator) and what it has on show (ShownInstance) each keep their own state; the
// session runs the operations over them and sends the signals.

#include "session/keptdocument.h"
#include "session/navigator.h"
#include "session/opendocument.h"
#include "session/propertymodel.h"
#include "session/showninstance.h"
#include "refs/idrename.h"
#include "refs/refcheck.h"
#include "model/refs.h"
#include "document/xmldocument.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QUndoStack;

namespace quillon {

class ReferenceIndex;
class TreeModel;
class TreeStore;
class XmlChange;

class EditorSession : public QObject {
    Q_OBJECT
public:
    // What an operation had to give up on.
    enum class Outcome {
        FileNotFound, // a jump's document could not be read
        InstanceNotFound, // no instance for a tree node or a completed jump ("...found."; detail: the id)
        RowInstanceNotFound, // no instance for a followed row ("...found", no full stop; detail: the id)
        BrokenHistory, // Back: the entry's document or instance is gone
        ArmAttributeEmpty, // ARM view: the node holds no attribute value
        EmptyReference, // Mapping view: a terminal node without ref or href
        UnexpectedNullElement, // Edit Link: the row's element is gone
        PopulateFailed, // an instance's rows could not all be read
        SaveFailed, // the document could not be written (file: its name)
        NameNotWritable, // Edit Link: the document's encoding cannot hold the name (detail: the message)
        RenameRefused, // Rename Id: the new id is empty or used (detail: why)
        RenameFailed, // Rename Id: another file could not be written; nothing changed (detail: why)
        DeleteRefused, // Delete Instance: something refers to the instance (detail: who)
        DeleteFailed, // Delete Instance: another file could not be written; nothing changed (detail: why)
        FilesNotPutBack, // Undo or Redo of those two: the other files they wrote stay as they are (detail: why)
    };
    Q_ENUM(Outcome)
    struct Report {
        Outcome outcome;
        QString detail; // the reason, where one is known
        QString file; // SaveFailed: the file name
        bool operator==(const Report &o) const { return outcome == o.outcome && detail == o.detail && file == o.file; }
    };
    using Reports = QList<Report>;

    // What the session asks the user, about the document's own file (see setAsker).
    enum class Question {
        ChangedOnDisk, // another program changed the file since it was read or written
        DropEdits, // reading the file again drops the edits: Reload goes on
    };
    Q_ENUM(Question)
    enum class Answer { Cancel, Overwrite, Reload };
    Q_ENUM(Answer)
    // Puts a question about file (its name) to the user and returns the answer, while the
    // session waits. Without an asker every question is answered Cancel.
    using Asker = std::function<Answer(Question question, const QString &file)>;

    explicit EditorSession(QObject *parent = nullptr);
    ~EditorSession() override;

    // ---- Operations ---------------------------------------------------------------------
    // Reads the document at path, as given (a relative name from the working folder: a path
    // the user gives; a reference's file is resolved before it comes here). False, with
    // lastError(), when it cannot be read: the document shown before stays. The tree and the rows follow when the load
    // completes. The reading and parsing run on a worker thread; meanwhile the event loop runs, so the window keeps
    // painting (a view keeps user input away, see busyChanged), and cancelLoad() abandons the load: then the result is
    // false with an empty lastError().
    bool open(const QString &path);
    void cancelLoad();
    bool isLoading() const { return m_file.isLoading(); }
    // The file the load under way reads and how far it is, for a wait window to poll; null
    // when no load runs.
    std::shared_ptr<const LoadProgress> loadProgress() const { return m_file.loadProgress(); }
    // Writes the document to its file when it changed. False when there is no document, or
    // when writing failed (then a SaveFailed report is added to *reports).
    // This and every save to the document's own file (a jump into another file, Back into
    // another file) first look at the file: when another program changed
    // it since it was read or written, the user is asked (ChangedOnDisk). Overwrite writes;
    // Reload reads the file again when the user agrees to drop the edits (DropEdits), keeping
    // the instance on show; Cancel keeps the file and the edits. Only Overwrite lets the save
    // and what waits for it (a jump, Back) go on.
    bool save(Reports *reports = nullptr);
    // Writes the document to path, which becomes its file.
    bool saveAs(const QString &path, Reports *reports = nullptr);
    // The window has the user again: when the document's file changed on disk since it was
    // read or written, a document without edits is read again quietly, keeping the instance
    // on show; with edits the user is asked as a save asks, and Overwrite writes at once. A
    // state of the file already asked about or read is not taken up again.
    Reports checkFileOnDisk();
    // Check References of the document shown (nothing without one). The check reads the
    // document on a worker while the event loop runs; a view keeps the user's input away
    // meanwhile (workingChanged), and the session takes up no change of the file on disk.
    QList<Finding> checkReferences();
    // Reads the other XML files of the document's folder that the reference index has not read
    // as they are now, on a worker in the same way, so that what asks for their referrers next
    // (referrersOfShown, Rename Id, Delete Instance) does not read them on this thread.
    void readFolderBeside();
    // Runs work on a worker while the event loop runs, for work that only reads the document
    // shown (Check References, Compare): a view keeps the user's input away meanwhile
    // (workingChanged), and no change of the file on disk is taken up.
    void runBeside(std::function<void()> work);
    void setAsker(Asker asker) { m_asker = std::move(asker); }
    // 0 ARM, 1 Mapping, 2 AIM; others and the current mode change nothing. With a document
    // shown the tree is built again from memory; nothing is written and isModified() stays.
    Reports setViewMode(int mode);
    // A click on tree node `node` (an index of the tree store).
    Reports selectNode(int node);
    // Whether that click would load a document (a jump into another file).
    bool clickLoadsDocument(int node) const;
    // The current tree node moved to `node` by the keyboard: shows what a click shows, except
    // that a node whose click would load a document waits for a click (Enter).
    Reports moveToNode(int node);
    // A left click on property row `row`: a reference row is followed.
    Reports followRow(int row);
    // Shows instance `id` of `document` (a path, or a document part as a reference held in
    // the document shown writes it; empty or the file shown: this one) as a followed reference
    // does: the place left is recorded in the history, another document is loaded (the load
    // completes the jump), and an id not found is an InstanceNotFound report. element, when it
    // is an instance of the document shown, is the very one to show (two instances may share
    // an id).
    Reports showInstance(const QString &document, const QString &id, const XmlNode &element = {});
    // One step back along the history.
    Reports back();
    // Stores text as the value of property row `row` and of its element; only an element of
    // the document shown takes it, and unchanged text changes nothing.
    void commitEdit(int row, const QString &text);
    // Re-points reference row `row` to the picker's choice "document#element#id".
    Reports applyLink(int row, const QString &selectedRef);
    // The document the picker offers for reference row `row`, as the reference writes it.
    QString linkAddress(int row) const;

    // ---- Rename Id and Delete Instance (editorsession_rename.cpp) ------------------------
    // What renaming the instance on show to newId changes, or why it is refused.
    IdRenamePlan renamePlan(const QString &newId) const;
    // Renames the instance on show and every reference to it (IdRename): the other files of the
    // folder are written (*written gets them), the document shown changes as one step on the
    // undo stack. A refusal is a RenameRefused report, a file that cannot be written a
    // RenameFailed one; then nothing changed.
    Reports renameInstanceId(const QString &newId, QStringList *written = nullptr);
    // Who refers to the instance on show: in its document, then in the other files of its
    // folder; *inDocument gets how many of them are in its document.
    QList<Referrer> referrersOfShown(int *inDocument = nullptr) const;
    // Takes the instance on show out of the document as one step on the undo stack. Refused
    // (DeleteRefused) while anything refers to it, unless removeReferences: then the elements
    // that hold the references go too (IdRename::remove), those in the other files of the
    // folder written (*written gets the files) and those of the document in the same step. A
    // file that cannot be written is a DeleteFailed report; then nothing changed.
    Reports deleteInstance(bool removeReferences, QStringList *written = nullptr);

    // The element a click on a tree node selects (TreeStore::resolve): "/uos/" + its path
    // with blanks as "_" + its tag, the first match in the document shown.
    XmlNode elementForNode(const TreeStore &store, int node) const;
    // The tree node of element in the current view (the node whose click shows it), 0 when the
    // view has none.
    int nodeOf(const XmlNode &element) const;

    // ---- State ----------------------------------------------------------------------------
    XmlDocument *document() const { return m_file.document(); }
    QString fileName() const { return m_file.fileName(); }
    int viewMode() const { return m_mode; }
    XmlNode shownInstance() const { return m_shown.instance(); }
    const History &history() const { return m_nav.history(); }
    bool pendingSelect() const { return m_nav.hasPendingJump(); }
    bool isModified() const { return m_file.isModified(); }
    QString lastError() const { return m_file.lastError(); }
    // The property list is on show, or the hint in its place (see shownInstanceChanged).
    bool listVisible() const { return m_shown.listVisible(); }
    bool hasRows() const { return m_shown.hasRows(); }
    QString entity() const { return m_shown.entity(); }
    bool backEnabled() const { return m_nav.backEnabled(); }
    TreeModel *treeModel() const { return m_tree; }
    PropertyModel *rows() const { return m_shown.rows(); }
    // Undo and Redo of the committed edits and link changes of the document shown (a child
    // named "undoStack"). Any load clears it; a save marks it clean; undoing or redoing to the
    // clean state leaves the document unmodified. See editorsession_undo.cpp.
    QUndoStack *undoStack() const { return m_file.undoStack(); }
    // Who refers to what in the document shown: one index for every view that asks (built on
    // the first question, dropped when another document is shown).
    ReferenceIndex *referenceIndex() const { return m_file.referenceIndex(); }

    // ---- Figures of the document shown (for a host's status bar), new with each load --------
    // Its instances (/uos/*/aim-instances/*), counted once when its load completes.
    int instanceCount() const { return m_instanceCount; }
    // How long its load took, from open() to its tree, in milliseconds; -1 before any load.
    qint64 lastOpenMs() const { return m_lastOpenMs; }

signals:
    void treeRebuilt(); // the tree holds the document anew
    void entityChanged(const QString &caption);
    void addressChanged(const QString &path);
    void backEnabledChanged(bool enabled);
    void modifiedChanged(bool modified);
    // A document is being read: while busy, the event loop runs inside open(); a view keeps
    // the user's input away from everything but a way to cancel.
    void busyChanged(bool busy);
    // The document is being written: the event loop runs inside the save meanwhile; a view
    // keeps the user's input away (there is nothing to cancel).
    void writingChanged(bool writing);
    // Work that reads the document shown runs on a worker (runBeside): the event loop runs
    // inside it meanwhile; a view keeps the user's input away (there is nothing to cancel).
    void workingChanged(bool working);
    void sourceChanged(const QString &path); // the raw file to show
    void sourceWritten(); // the raw file was written anew
    void editMustClose(); // an open edit is to be committed now
    void reported(const EditorSession::Reports &reports); // from the completion of a load
    void documentShown(); // a load completed: instanceCount() and lastOpenMs() are new
    // An undo or redo put the rows of its change on show; row is the one it changed.
    void changeShown(int row);
    // The instance on show changed: another instance (or none), the same one of a document
    // read anew, or the list showing it came or went (listVisible()). Sent once at the end of
    // the operation, the completed load, the undo or the redo that changed it; a view switch
    // keeps the instance and sends nothing. See editorsession_shown.cpp.
    void shownInstanceChanged();
    // A jump, Back or Find Instance put an element on show; node: its tree node in the current
    // view (nodeOf), 0 when the view has none. A view selects the node without a click.
    void navigated(int node);
    // A jump into another file wrote the document left (file: its name) before it was left.
    void savedBeforeJump(const QString &file);

private:
    friend class ChangeCommand;
    friend class StepCommand;
    enum class JumpResult { Started, NotLoaded, NotLeft };

    void onReadyState();
    void noteDocumentShown();
    void rebuildTree();
    bool saveTo(const QString &path);
    bool saveDocument();
    bool writeOwnFile();
    // The file on disk (editorsession_disk.cpp)
    bool mayOverwrite();
    Answer askAboutChangedFile();
    Answer ask(Question question);
    bool reload();
    void updateModified();
    void report(Outcome outcome, const QString &detail = {}, const QString &file = {});
    Reports take();

    void armBranch(const XmlNode &s);
    void showSingleRow(const XmlNode &owner, const PropertyRow &row);
    void referenceBranch(const XmlNode &s);
    void referenceTail(const QString &id);
    void populateInstance();
    void clearRows();
    void setListVisible(bool visible);
    void setEntity(const QString &caption);
    void setBackEnabled(bool enabled);

    XmlNode findInstance(const QString &id) const;
    QString returnPlaceId() const;
    QString returnPlacePath() const;
    void showPlace(const XmlNode &element, bool byPath);
    void placeShown();
    JumpResult beginJump(const QString &document, const QString &id);
    Reports goTo(const QString &document, const QString &id, Outcome notFound, const XmlNode &exact = {});
    // The file a reference's document part names, "" when it names the document shown.
    QString targetOf(const QString &part) const;
    void reresolveInstance();
    void completePendingSelection();
    void refreshShownInstance();
    void recordEntry(const QString &entry, const std::shared_ptr<KeptDocument> &kept);
    // Reads path; keepOld: where the document before goes when the history still refers to it.
    // lookups: ids to be shown once the document is read (OpenDocument::load).
    bool openKeeping(const QString &path, KeptDocument *keepOld, QStringList lookups = {});
    // Back into another file: the document kept for the entry when there is one and its file
    // is as it left it, otherwise the file read again (id: the instance to be shown there).
    bool returnTo(const QString &file, const std::shared_ptr<KeptDocument> &kept, const QString &id);
    UndoState undoState() const;
    void restoreUndo(const UndoState &state);

    // Undo (editorsession_undo.cpp): what the list shows, to be shown again by an undo or redo.
    using RowsView = ShownInstance::View;
    void showRowsView(const RowsView &view, int row);
    // A change just made to row `row`, which showed `before`; link: the tree is built anew.
    void recordChange(const XmlChange &change, const RowsView &before, int row, bool link);
    void setUpUndo();
    // Rename Id, Delete Instance: after their step was made or taken back, the tree anew and
    // instance (null: none) on show.
    void showAfterStep(const XmlNode &instance);
    void putBackFiles(const QList<FileRewrite> &files, bool forward);
    void followCleanState();

    // shownInstanceChanged() (editorsession_shown.cpp): an operation announces a change of the
    // instance on show when it ends, the outermost one only.
    class Operation {
    public:
        explicit Operation(EditorSession *session);
        ~Operation();
        Operation(const Operation &) = delete;
        Operation &operator=(const Operation &) = delete;

    private:
        EditorSession *m_session;
    };
    void announceShown();
    void documentReplaced();

    OpenDocument m_file;
    Navigator m_nav;
    ShownInstance m_shown;
    int m_mode = 0;
    Reports m_reports; // gathered while an operation runs
    TreeModel *m_tree = nullptr;
    QElapsedTimer m_openClock; // runs from open() to the load's completion
    int m_instanceCount = 0;
    qint64 m_lastOpenMs = -1;
    Asker m_asker;
    bool m_asking = false; // a question is open
    bool m_writing = false; // a save runs the event loop
    bool m_working = false; // so does work on a worker (runBeside)
    int m_operations = 0; // operations under way, one within another
    XmlNode m_announcedInstance; // as last announced by shownInstanceChanged()
    bool m_announcedVisible = false;
    bool m_announceDocument = false; // a document was read since
    bool m_placePending = false; // navigated() waits for the load to complete
    bool m_replaying = false; // the undo stack is set up again: its commands change nothing
    // What the history entries of the open document share: it holds the document once left.
    std::shared_ptr<KeptDocument> m_openKept;
};

} // namespace quillon

Q_DECLARE_METATYPE(quillon::EditorSession::Reports)
