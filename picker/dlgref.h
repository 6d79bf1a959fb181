#pragma once
// dlgRef, "Select Instance": the modal picker through which the user chooses the target of a
// reference. It lists the instances of one document (its own document object, read from the
// file named in txtAddress, or the caller's document when that holds the file) and hands the
// choice back as one string, "<address>#<element name>#<id>".
//
// Use from the "Edit Link..." command:
//
//     dlgRef *dlg = dlgRef::instance(this);          // the one picker, created when needed
//     const QString choice = dlg->chooseFrom(address); // empty when cancelled or closed
//
// chooseFrom() sets the address, loads, fits the columns, runs the dialog modally and returns
// strSelectedRef(). The file is read on a worker thread in one pass that lists its instances
// without building a document (scanInstances); a file that cannot be read so (one with a
// DOCTYPE, or not in UTF-8, see there) is loaded as a document on a worker thread, and its
// rows gathered in short steps between the dialog's events. The dialog shows at once, its list
// covered by "Loading…" and OK disabled until the rows fill it; Cancel, Escape or the close box
// abandon a read under way, and the list stays as it was. A list filled from a file is kept while the file is
// unchanged on disk: it is offered again as a new read would leave it, without reading the
// file. Nor is the file read when the caller's document given to chooseFrom() holds it,
// unmodified and unchanged on disk (XmlDocument::holdsFile): the rows are gathered from that
// document (the same bytes give the same rows), and the picker keeps no document of its own.
// Should that document change before its rows are all gathered, the file is read after all.
// The dialog opens with the focus in the filter box; Up, Down, Page Up and Page Down there move
// in the list, and Enter accepts the selected row. "From:" names the
// document listed: Enter there loads it ("Go"), and a choice always carries the address the
// list was filled from, so text typed into "From:" without loading it never names the
// choice's document. OK and Cancel only hide the dialog, so its address, list and document
// persist to the next use; the frame's close box destroys it, and instance() then creates a
// new one. strSelectedRef() is cleared every time the dialog is shown, so a Cancel or a close
// never returns an earlier choice.

#include <QDialog>
#include <QPointer>
#include <QString>

#include "document/xmldocument.h"

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QModelIndex;

namespace quillon {

class AsyncJob;
class InstanceList;
class InstanceListModel;
class PickerRows;

class dlgRef : public QDialog {
    Q_OBJECT
public:
    // Asks for an XML file to open: (parent, caption, folder to start in, filter) -> path,
    // empty when cancelled.
    using OpenFileHook = std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;

    explicit dlgRef(QWidget *owner = nullptr);
    ~dlgRef() override;

    // The one picker of the library, owned by owner. Created on first use, and created anew
    // after the close box destroyed the previous one (or it was closed and awaits deletion).
    static dlgRef *instance(QWidget *owner);

    // Address, LoadInstances, AdjustColumns, modal run; returns strSelectedRef() (empty when
    // the dialog was cancelled or closed). The dialog may be gone after a close: do not touch
    // the object after this returns unless it is obtained again from instance().
    // While it runs, a relative address is read in the folder of the document relativeTo, as
    // a reference held there is (resolveDocumentPart), and "..." starts in that folder; the
    // address box and the choice keep the address as written.
    // shown (when given) is the caller's document: a load of the file it holds, unmodified and
    // unchanged on disk, lists it without reading the file. It is only read, on this thread,
    // and only while this call runs.
    QString chooseFrom(const QString &address, const QString &relativeTo = QString(),
                       const XmlDocument *shown = nullptr);

    // The last choice confirmed with OK or a double-click since the dialog was last shown:
    // address text, "#", element name, "#", id. Empty otherwise.
    QString strSelectedRef() const { return m_strSelectedRef; }

    QLineEdit *txtAddress() const { return m_txtAddress; }
    InstanceListModel *instanceModel() const { return m_model; }
    // The picker's own document: the one the list was filled from, or the one being read (null
    // before any read, when the list came from the caller's document, and when the file was
    // listed without one).
    const XmlDocument *document() const { return m_xmlDoc; }
    // How many reads of a file were begun.
    quint64 reads() const { return m_reads; }
    // The change stamp (XmlDocument::changeStamp) of the document the list was filled from, as
    // it stood then: the picker's own or the caller's. 0 before any list, and when the file was
    // listed without a document.
    quint64 listedStamp() const { return m_listed.stamp; }

    // Loads the document named by txtAddress (a relative name in the folder of the document
    // given to chooseFrom, or of the working folder without one) on a worker thread; its
    // completion fills the list. When the list was filled from that file, unchanged on disk
    // since, it is offered again without a read; when the caller's document holds the file,
    // the list is filled from it.
    void LoadInstances();
    // Fits the list's columns to their contents and the list's width.
    void AdjustColumns();

    // Replaces the file dialog used by "..." (tests). A null hook restores the standard one.
    void setOpenFileHook(OpenFileHook hook);

    // True once the close box has closed this object; it is deleted when the event loop
    // next gets control.
    bool isClosedByFrame() const { return m_bClosedByFrame; }

signals:
    // A read of a file has ended, before its rows show (they do not when the dialog is left, or
    // another load begun, meanwhile). Not after a failure.
    void fileRead();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void done(int result) override;

private:
    void createChildren();
    void placeChildren();
    int xPixels(int twips) const;
    int yPixels(int twips) const;
    void chooseRow(int shownRow);
    QString browseFolder() const;
    void updateOkButton();
    void selectShownRow(int shown);
    void selectSoleRow();
    bool loading() const;
    void showLoadState();
    void listAgain();
    void readFile(const QString &path);
    void streamEnded();
    void abandonStream();
    void readDocument(const QString &path);
    void gatherRows(const XmlDocument &doc);
    void gatherStep();
    void stopGathering();
    void dropDocument();

    void cmdBrowse_Click();
    void cmdLoad_Click();
    void OKButton_Click();
    void CancelButton_Click();
    void lstInstances_DblClick(const QModelIndex &index);
    void txtFilter_TextChanged(const QString &text);
    void xmlDoc_onreadystatechange();
    void xmlDoc_loadFailed(const QString &address);

    QString m_strSelectedRef;
    QString m_strRelativeTo; // the document a relative address is read next to ("" for none)
    QString m_strListed; // the address the list was filled from
    QString m_strLoading; // the address being loaded
    XmlDocument *m_xmlDoc = nullptr;
    QPointer<const XmlDocument> m_shown; // the caller's document while chooseFrom() runs
    // The file the list was filled from, as it was then: the list stands for that file while
    // it is unchanged on disk.
    struct ListedFile {
        QString path; // empty: the list stands for no file
        FileState state;
        quint64 stamp = 0; // of the document the rows came from; 0 without one
        bool holds(const QString &file) const;
    } m_listed;
    // Fills the list with rows, read from file.
    void showRows(PickerRows rows, const ListedFile &file);
    // The rows being gathered from a document (m_xmlDoc once it is read, or m_shown), a step
    // at each tick of m_gatherTimer, and the file they stand for.
    struct Gathering;
    std::unique_ptr<Gathering> m_gathering;
    QTimer *m_gatherTimer = nullptr;
    // The read of a file in one pass under way on a worker, which holds it too.
    struct Streaming;
    std::shared_ptr<Streaming> m_streaming;
    AsyncJob *m_streamJob = nullptr;
    quint64 m_reads = 0;
    InstanceListModel *m_model = nullptr;
    OpenFileHook m_openFile;
    bool m_bClosedByFrame = false;

    QLabel *m_lblAddress = nullptr;
    QLineEdit *m_txtAddress = nullptr;
    QPushButton *m_cmdBrowse = nullptr;
    QPushButton *m_cmdLoad = nullptr;
    QLineEdit *m_txtFilter = nullptr;
    InstanceList *m_lstInstances = nullptr;
    QLabel *m_lblLoading = nullptr; // covers the list while a read runs
    QPushButton *m_OKButton = nullptr;
    QPushButton *m_CancelButton = nullptr;
};

} // namespace quillon
