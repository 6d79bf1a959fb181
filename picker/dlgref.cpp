#include "picker/dlgref.h"

#include "picker/instancelistmodel.h"
#include "model/layout.h"
#include "model/refs.h"
#include "document/asyncjob.h"
#include "document/filenames.h"
#include "document/instancescan.h"
#include "document/xmldocument.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace quillon {

namespace {

// Client area and children, in twips. The filter box sits between the address row and the
// list, which starts lower and is shorter by as much.
constexpr int kClientWidth = 7080;
constexpr int kClientHeight = 4170;
constexpr layout::Rect kLblAddress{120, 120, 495, 255};
constexpr layout::Rect kTxtAddress{720, 120, 4575, 375};
constexpr layout::Rect kCmdBrowse{5520, 120, 375, 375};
constexpr layout::Rect kCmdLoad{6000, 120, 975, 375};
constexpr layout::Rect kTxtFilter{120, 600, 6855, 315};
constexpr layout::Rect kLstInstances{120, 975, 6855, 2400};
constexpr layout::Rect kOKButton{4440, 3600, 1215, 375};
constexpr layout::Rect kCancelButton{5760, 3600, 1215, 375};

// Rows are gathered in steps of about this many milliseconds, the clock read every so many
// instances.
constexpr qint64 kGatherStepMs = 8;
constexpr int kGatherStepInstances = 1024;

// Extra width of the first column, in twips.
constexpr int kTypeColumnExtra = 100;

bool isListMoveKey(int key)
{
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown;
}

QString standardOpenFile(QWidget *parent, const QString &caption, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

} // namespace

// The list of instances: a table of two columns, rows selected whole, driven as a list (Home
// and End go to the first and the last row).
class InstanceList : public QTableView {
public:
    using QTableView::QTableView;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        if (action == MoveHome || action == MoveEnd)
            modifiers |= Qt::ControlModifier;
        return QTableView::moveCursor(action, modifiers);
    }
};

struct dlgRef::Gathering {
    PickerRowsWalk walk;
    ListedFile file;
};

struct dlgRef::Streaming {
    QString path;
    PickerRowsBuilder rows;
    InstanceScan outcome = InstanceScan::Declined;
    FileState state;
    QString error;
};

dlgRef::dlgRef(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      m_openFile(standardOpenFile)
{
    setObjectName(QStringLiteral("dlgRef"));
    setWindowTitle(tr("Select Instance"));
    setSizeGripEnabled(false);
    createChildren();
    placeChildren();
    updateOkButton();
}

dlgRef::~dlgRef()
{
    dropDocument();
}

void dlgRef::dropDocument()
{
    stopGathering();
    abandonStream();
    if (!m_xmlDoc)
        return;
    m_xmlDoc->disconnect(this);
    // A large document takes a while to free: its last handle goes on a worker.
    XmlNode last = m_xmlDoc->documentElement();
    delete std::exchange(m_xmlDoc, nullptr);
    AsyncJob::start([last = std::move(last)]() mutable { last = XmlNode(); });
}

dlgRef *dlgRef::instance(QWidget *owner)
{
    static QPointer<dlgRef> s_dlg;
    if (s_dlg && s_dlg->m_bClosedByFrame)
        s_dlg = nullptr; // closed with the close box: already on its way out
    if (!s_dlg)
        s_dlg = new dlgRef(owner);
    else if (s_dlg->parentWidget() != owner)
        s_dlg->setParent(owner, s_dlg->windowFlags());
    return s_dlg;
}

QString dlgRef::chooseFrom(const QString &address, const QString &relativeTo, const XmlDocument *shown)
{
    QPointer<dlgRef> self(this);
    m_strRelativeTo = relativeTo;
    m_shown = shown;
    m_txtAddress->setText(address);
    LoadInstances();
    if (!self)
        return {};
    AdjustColumns();
    exec();
    if (!self)
        return {};
    m_shown = nullptr;
    return m_strSelectedRef;
}

void dlgRef::createChildren()
{
    // Created in tab order: OK, Cancel, filter, list, address, "...", "Go".
    m_OKButton = new QPushButton(tr("OK"), this);
    m_OKButton->setObjectName(QStringLiteral("OKButton"));
    m_OKButton->setDefault(true);
    m_CancelButton = new QPushButton(tr("Cancel"), this);
    m_CancelButton->setObjectName(QStringLiteral("CancelButton"));
    m_CancelButton->setAutoDefault(false);

    m_txtFilter = new QLineEdit(this);
    m_txtFilter->setObjectName(QStringLiteral("txtFilter"));
    m_txtFilter->setPlaceholderText(tr("Filter"));
    m_txtFilter->setClearButtonEnabled(true);
    m_txtFilter->setAccessibleName(tr("Filter"));
    m_txtFilter->setAccessibleDescription(
        tr("Shows only the instances whose type or id contains the text; the arrow keys move in the list"));

    m_model = new InstanceListModel(this);
    m_lstInstances = new InstanceList(this);
    m_lstInstances->setObjectName(QStringLiteral("lstInstances"));
    m_lstInstances->setAccessibleName(tr("Instances"));
    m_lstInstances->setAccessibleDescription(tr("The instances of the document, by type and id"));
    m_lstInstances->setModel(m_model);
    m_lstInstances->setShowGrid(false);
    m_lstInstances->setWordWrap(false);
    m_lstInstances->setTabKeyNavigation(false); // Tab leaves the list, as it leaves any list
    m_lstInstances->setSortingEnabled(false);
    m_lstInstances->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lstInstances->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lstInstances->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows of one height and no row header: the view then keeps no layout of its own per row,
    // so a list of millions shows at once (a tree view lays out every row first).
    QHeaderView *rows = m_lstInstances->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_lstInstances->fontMetrics().height() + 4);
    QHeaderView *columns = m_lstInstances->horizontalHeader();
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setStretchLastSection(false);
    columns->setSectionsMovable(false);
    // Column widths come from AdjustColumns, which may make the first one very narrow.
    columns->setMinimumSectionSize(0);

    m_lblLoading = new QLabel(tr("Loading…"), this);
    m_lblLoading->setObjectName(QStringLiteral("lblLoading"));
    m_lblLoading->setAlignment(Qt::AlignCenter);
    m_lblLoading->setAutoFillBackground(true);
    m_lblLoading->setBackgroundRole(QPalette::Base);
    m_lblLoading->hide();

    m_gatherTimer = new QTimer(this);
    m_gatherTimer->setInterval(0);
    connect(m_gatherTimer, &QTimer::timeout, this, &dlgRef::gatherStep);

    m_lblAddress = new QLabel(tr("From:"), this);
    m_lblAddress->setObjectName(QStringLiteral("lblAddress"));
    m_txtAddress = new QLineEdit(this);
    m_txtAddress->setObjectName(QStringLiteral("txtAddress"));
    m_lblAddress->setBuddy(m_txtAddress);
    m_cmdBrowse = new QPushButton(QStringLiteral("..."), this);
    m_cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    m_cmdBrowse->setAutoDefault(false);
    m_cmdBrowse->setAccessibleName(tr("Browse"));
    m_cmdBrowse->setAccessibleDescription(tr("Chooses the document whose instances are listed"));
    m_cmdBrowse->setToolTip(tr("Browse"));
    m_cmdLoad = new QPushButton(tr("Go"), this);
    m_cmdLoad->setObjectName(QStringLiteral("cmdLoad"));
    m_cmdLoad->setAutoDefault(false);

    m_txtFilter->installEventFilter(this);
    m_txtAddress->installEventFilter(this);

    setTabOrder(m_OKButton, m_CancelButton);
    setTabOrder(m_CancelButton, m_txtFilter);
    setTabOrder(m_txtFilter, m_lstInstances);
    setTabOrder(m_lstInstances, m_txtAddress);
    setTabOrder(m_txtAddress, m_cmdBrowse);
    setTabOrder(m_cmdBrowse, m_cmdLoad);

    connect(m_OKButton, &QPushButton::clicked, this, &dlgRef::OKButton_Click);
    connect(m_CancelButton, &QPushButton::clicked, this, &dlgRef::CancelButton_Click);
    connect(m_cmdBrowse, &QPushButton::clicked, this, &dlgRef::cmdBrowse_Click);
    connect(m_cmdLoad, &QPushButton::clicked, this, &dlgRef::cmdLoad_Click);
    connect(m_txtFilter, &QLineEdit::textChanged, this, &dlgRef::txtFilter_TextChanged);
    connect(m_lstInstances, &QAbstractItemView::doubleClicked, this, &dlgRef::lstInstances_DblClick);
    connect(m_lstInstances->selectionModel(), &QItemSelectionModel::selectionChanged, this, &dlgRef::updateOkButton);
    // A reset drops the selection without a selectionChanged.
    connect(m_model, &QAbstractItemModel::modelReset, this, &dlgRef::updateOkButton);
}

int dlgRef::xPixels(int twips) const
{
    return layout::twipsToPixels(twips, logicalDpiX());
}

int dlgRef::yPixels(int twips) const
{
    return layout::twipsToPixels(twips, logicalDpiY());
}

void dlgRef::placeChildren()
{
    setFixedSize(xPixels(kClientWidth), yPixels(kClientHeight));
    const auto place = [this](QWidget *w, const layout::Rect &r) {
        w->setGeometry(xPixels(r.left), yPixels(r.top), xPixels(r.width), yPixels(r.height));
    };
    place(m_lblAddress, kLblAddress);
    place(m_txtAddress, kTxtAddress);
    place(m_cmdBrowse, kCmdBrowse);
    place(m_cmdLoad, kCmdLoad);
    place(m_txtFilter, kTxtFilter);
    place(m_lstInstances, kLstInstances);
    place(m_lblLoading, kLstInstances);
    place(m_OKButton, kOKButton);
    place(m_CancelButton, kCancelButton);
}

void dlgRef::LoadInstances()
{
    const QString address = m_txtAddress->text();
    const QString path = resolveDocumentPart(m_strRelativeTo, address);
    if (m_listed.holds(path)) {
        listAgain();
        return;
    }
    m_cmdLoad->setEnabled(false);
    dropDocument(); // a read under way is abandoned with it
    m_listed = {};
    m_strLoading = address;
    // The caller's document that is the file as it is on disk gives the rows a read would.
    if (m_shown && m_shown->holdsFile(path))
        gatherRows(*m_shown);
    else
        readFile(path);
    showLoadState();
}

void dlgRef::readFile(const QString &path)
{
    ++m_reads;
    auto streaming = std::make_shared<Streaming>();
    streaming->path = path;
    m_streaming = streaming;
    // The worker holds what it fills: an abandoned read runs to its end without the dialog.
    m_streamJob = new AsyncJob(
        [streaming] {
            streaming->outcome = scanInstances(streaming->path, streaming->rows, streaming->state, streaming->error);
        },
        this);
    connect(m_streamJob, &AsyncJob::finished, this, &dlgRef::streamEnded);
}

void dlgRef::streamEnded()
{
    const std::shared_ptr<Streaming> read = m_streaming;
    if (read->outcome == InstanceScan::Read) {
        emit fileRead();
        if (m_streaming != read)
            return; // left or superseded meanwhile
    }
    abandonStream();
    switch (read->outcome) {
    case InstanceScan::Read:
        showRows(read->rows.take(), {read->path, read->state, 0});
        break;
    case InstanceScan::Declined:
        readDocument(read->path);
        showLoadState();
        break;
    case InstanceScan::Failed:
        xmlDoc_loadFailed(m_strLoading);
        break;
    }
}

void dlgRef::abandonStream()
{
    if (!m_streamJob)
        return;
    m_streamJob->disconnect(this);
    m_streamJob->deleteLater();
    m_streamJob = nullptr;
    m_streaming.reset();
}

void dlgRef::readDocument(const QString &path)
{
    m_xmlDoc = new XmlDocument(this);
    connect(m_xmlDoc, &XmlDocument::onreadystatechange, this, &dlgRef::xmlDoc_onreadystatechange);
    connect(m_xmlDoc, &XmlDocument::loadFailed, this, [this, address = m_strLoading] { xmlDoc_loadFailed(address); });
    m_xmlDoc->loadInBackground(path);
}

void dlgRef::listAgain()
{
    // As the completion of a read of the same file leaves it: nothing selected but a sole row,
    // the address as the box shows it now.
    m_lstInstances->selectionModel()->clear();
    m_strListed = m_txtAddress->text();
    selectSoleRow();
    m_cmdLoad->setEnabled(true);
}

void dlgRef::xmlDoc_loadFailed(const QString &address)
{
    showLoadState();
    QMessageBox box(QMessageBox::Warning, tr("Warning"), tr("Can't load data from ") + address,
                    QMessageBox::Ok, isVisible() ? this : parentWidget());
    box.exec();
    // Let the user correct the address and try again.
    m_cmdLoad->setEnabled(true);
}

void dlgRef::xmlDoc_onreadystatechange()
{
    if (sender() != m_xmlDoc || !m_xmlDoc || m_xmlDoc->readyState() != 4)
        return;
    gatherRows(*m_xmlDoc);
    emit fileRead();
}

bool dlgRef::ListedFile::holds(const QString &file) const
{
    return sameFileName(file, path) && FileState::of(path) == state;
}

void dlgRef::gatherRows(const XmlDocument &doc)
{
    // A million rows take a while to gather: a step at a time, between the dialog's events.
    m_gathering.reset(
        new Gathering{PickerRowsWalk(doc.documentElement()), {doc.path(), doc.fileState(), doc.changeStamp()}});
    m_gatherTimer->start();
}

void dlgRef::gatherStep()
{
    if (!m_gathering) {
        m_gatherTimer->stop();
        return;
    }
    if (m_gathering->walk.documentChanged()) {
        // The caller's document changed under the walk: the file is read after all.
        const QString path = m_gathering->file.path;
        dropDocument();
        readFile(path);
        showLoadState();
        return;
    }
    QElapsedTimer step;
    step.start();
    while (!m_gathering->walk.atEnd() && step.elapsed() < kGatherStepMs)
        m_gathering->walk.step(kGatherStepInstances);
    if (!m_gathering->walk.atEnd())
        return;
    const std::unique_ptr<Gathering> done = std::move(m_gathering);
    m_gatherTimer->stop();
    showRows(done->walk.takeRows(), done->file);
}

void dlgRef::showRows(PickerRows rows, const ListedFile &file)
{
    showLoadState();
    m_model->setRows(std::move(rows));
    m_listed = file;
    m_strListed = m_txtAddress->text();
    selectSoleRow();
    AdjustColumns();
    m_cmdLoad->setEnabled(true);
}

void dlgRef::stopGathering()
{
    m_gathering.reset();
    m_gatherTimer->stop();
}

bool dlgRef::loading() const
{
    return (m_xmlDoc && m_xmlDoc->isLoading()) || m_gathering || m_streamJob;
}

void dlgRef::showLoadState()
{
    const bool on = loading();
    m_lblLoading->setVisible(on);
    m_lblLoading->raise();
    m_lstInstances->setEnabled(!on);
    updateOkButton();
}

void dlgRef::AdjustColumns()
{
    const double dpi = logicalDpiX();
    // The widest cell of the first column (the view measures the shown rows and a bounded
    // sample around them, so this stays cheap on huge lists).
    // The widest type name of the whole list (a document has few distinct types), plus the
    // cell's margins as the view measures them, at most a third of the list.
    const QAbstractItemView *view = m_lstInstances;
    const QFontMetrics metrics(m_lstInstances->font());
    int widest = 0;
    for (const QString &type : m_model->allRows().types())
        widest = std::max(widest, metrics.horizontalAdvance(type));
    const QModelIndex first = m_model->index(0, InstanceListModel::TypeColumn);
    const int margins = first.isValid() ? std::max(0, view->sizeHintForIndex(first).width() -
                                                          metrics.horizontalAdvance(first.data().toString()))
                                        : 0;
    const int listTwips = layout::pixelsToTwips(m_lstInstances->width(), dpi);
    const int fittedPixels =
        std::max({0, widest > 0 ? widest + margins : 0, view->sizeHintForColumn(InstanceListModel::TypeColumn)});
    const double fittedTwips = std::min(fittedPixels * 1440.0 / dpi,
                                        listTwips / 3.0 - kTypeColumnExtra);
    const layout::ColumnWidths widths = layout::fitColumns(fittedTwips, listTwips, kTypeColumnExtra);
    QHeaderView *header = m_lstInstances->horizontalHeader();
    header->resizeSection(InstanceListModel::TypeColumn, layout::twipsToPixels(widths.first, dpi));
    header->resizeSection(InstanceListModel::IdColumn, layout::twipsToPixels(widths.second, dpi));
}

void dlgRef::setOpenFileHook(OpenFileHook hook)
{
    m_openFile = hook ? std::move(hook) : OpenFileHook(standardOpenFile);
}

void dlgRef::cmdBrowse_Click()
{
    QString path;
    try {
        path = m_openFile(this, QString(), browseFolder(), tr("XML Files (*.xml)"));
    } catch (...) {
        return; // any failure of the file dialog ends Browse quietly
    }
    if (path.isEmpty())
        return;
    m_txtAddress->setText(path);
    LoadInstances();
}

QString dlgRef::browseFolder() const
{
    // The folder of the document listed, else of the document the picker was opened for.
    const QString address = m_txtAddress->text().trimmed();
    const QFileInfo listed(resolveDocumentPart(m_strRelativeTo, address));
    if (!address.isEmpty() && listed.absoluteDir().exists())
        return listed.absolutePath();
    return m_strRelativeTo.isEmpty() ? QString() : QFileInfo(m_strRelativeTo).absolutePath();
}

void dlgRef::cmdLoad_Click()
{
    LoadInstances();
}

void dlgRef::chooseRow(int shownRow)
{
    const std::optional<PickerRow> row = m_model->rowAt(shownRow);
    if (!row || loading())
        return;
    m_strSelectedRef = m_strListed + QLatin1Char('#') + row->type + QLatin1Char('#') + row->id;
    accept();
}

void dlgRef::OKButton_Click()
{
    const QModelIndexList rows = m_lstInstances->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        chooseRow(rows.first().row());
}

void dlgRef::CancelButton_Click()
{
    reject();
}

void dlgRef::lstInstances_DblClick(const QModelIndex &index)
{
    if (index.isValid())
        chooseRow(index.row());
}

void dlgRef::txtFilter_TextChanged(const QString &text)
{
    // Keep the chosen instance selected when it survives the new filter.
    const QModelIndexList selected = m_lstInstances->selectionModel()->selectedRows();
    const int source = selected.isEmpty() ? -1 : m_model->sourceRow(selected.first().row());
    m_model->setFilterText(text);
    const int shown = m_model->shownRow(source);
    if (shown >= 0 && m_lstInstances->selectionModel()->selectedRows().isEmpty()) {
        m_model->revealUpTo(shown);
        selectShownRow(shown);
    }
    selectSoleRow();
    m_lstInstances->scrollToTop();
    updateOkButton();
}

void dlgRef::selectShownRow(int shown)
{
    m_lstInstances->selectionModel()->setCurrentIndex(m_model->index(shown, 0), QItemSelectionModel::ClearAndSelect |
                                                                                    QItemSelectionModel::Rows);
}

void dlgRef::selectSoleRow()
{
    if (m_model->rowCount() == 1)
        selectShownRow(0);
}

bool dlgRef::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (watched == m_txtFilter && isListMoveKey(key->key())) {
        // The filter box steers the list: the keys act there as if it had the focus.
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
        QCoreApplication::sendEvent(m_lstInstances, &copy);
        return true;
    }
    if (watched == m_txtAddress && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        cmdLoad_Click(); // Enter in "From:" loads that address; it does not choose
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void dlgRef::updateOkButton()
{
    m_OKButton->setEnabled(!loading() && m_lstInstances->selectionModel()->hasSelection());
}

void dlgRef::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        // Every use starts without a choice and with the whole list.
        m_strSelectedRef.clear();
        m_txtFilter->clear();
    }
    QDialog::showEvent(event);
    m_txtFilter->setFocus(Qt::OtherFocusReason);
}

void dlgRef::done(int result)
{
    // Leaving abandons a read under way; the list stays as it was.
    if (loading()) {
        if (m_xmlDoc)
            m_xmlDoc->cancelLoad();
        stopGathering();
        abandonStream();
        showLoadState();
        m_cmdLoad->setEnabled(true);
    }
    QDialog::done(result);
}

void dlgRef::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
    if (event->isAccepted()) {
        // The close box ends the dialog's life; OK and Cancel only hide it.
        m_bClosedByFrame = true;
        setAttribute(Qt::WA_DeleteOnClose);
    }
}

} // namespace quillon
