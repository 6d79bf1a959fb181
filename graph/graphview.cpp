// The "Graph" tab: a thin view over GraphModel and GraphScene that follows the session.
#include "graph/graphview.h"
#include "session/editorsession.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QMessageBox>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace quillon {

namespace {

constexpr qreal zoomStep = 1.25, minZoom = 0.05, maxZoom = 8.0;

} // namespace

// ---- The view ---------------------------------------------------------------------------

GraphCanvas::GraphCanvas(QWidget *parent) : QGraphicsView(parent)
{
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    setDragMode(QGraphicsView::ScrollHandDrag);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setFocusPolicy(Qt::StrongFocus);
    // The view always scrolls beyond the picture (see updateScrollRange): bars that come and
    // go would move the picture by their width.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void GraphCanvas::showPicture(const QRectF &picture)
{
    m_current = -1;
    m_picture = picture;
    updateScrollRange();
    centerOn(0, 0);
}

// The view scrolls a viewport's size beyond the picture on every side of the origin, so that
// the origin can always be put in the middle.
void GraphCanvas::updateScrollRange()
{
    const qreal w = qMax(qAbs(m_picture.left()), qAbs(m_picture.right()));
    const qreal h = qMax(qAbs(m_picture.top()), qAbs(m_picture.bottom()));
    const QSizeF view = QSizeF(viewport()->size()) / zoom();
    setSceneRect(QRectF(-w - view.width(), -h - view.height(), 2 * (w + view.width()), 2 * (h + view.height())));
}

void GraphCanvas::zoomBy(qreal factor)
{
    const qreal target = qBound(minZoom, zoom() * factor, maxZoom);
    scale(target / zoom(), target / zoom());
    updateScrollRange();
}

void GraphCanvas::fit()
{
    resetTransform();
    updateScrollRange();
    fitInView(m_picture, Qt::KeepAspectRatio);
    if (zoom() > 1.0)
        resetTransform();
    updateScrollRange();
    centerOn(m_picture.center());
}

void GraphCanvas::fitAroundOrigin(const QRectF &boxes)
{
    showPicture(boxes);
    // The origin stays in the middle, so the boxes keep their places when more are shown at
    // the same zoom; the picture shrinks only when the boxes would not fit otherwise.
    const qreal w = qMax(qAbs(boxes.left()), qAbs(boxes.right()));
    const qreal h = qMax(qAbs(boxes.top()), qAbs(boxes.bottom()));
    const QRectF around(-w, -h, 2 * w, 2 * h);
    resetTransform();
    if (around.width() > viewport()->width() || around.height() > viewport()->height())
        fitInView(around, Qt::KeepAspectRatio);
    updateScrollRange();
    centerOn(QPointF(0, 0));
}

void GraphCanvas::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const int steps = event->angleDelta().y() / 120;
        if (steps != 0)
            zoomBy(std::pow(zoomStep, steps));
        event->accept();
        return;
    }
    QGraphicsView::wheelEvent(event);
}

bool GraphCanvas::moveCurrent(bool next)
{
    auto *s = qobject_cast<GraphScene *>(scene());
    const QList<int> nodes = s ? s->shownNodes() : QList<int>();
    const qsizetype at = nodes.indexOf(m_current);
    const qsizetype to = at < 0 ? (next ? 0 : nodes.size() - 1) : at + (next ? 1 : -1);
    if (to < 0 || to >= nodes.size())
        return false;
    m_current = nodes[to];
    ensureVisible(s->placement().nodes[m_current]);
    viewport()->update();
    return true;
}

bool GraphCanvas::focusNextPrevChild(bool next)
{
    // Tab walks the boxes first, then leaves the picture.
    if (moveCurrent(next))
        return true;
    m_current = -1;
    viewport()->update();
    return QGraphicsView::focusNextPrevChild(next);
}

void GraphCanvas::drawForeground(QPainter *painter, const QRectF &rect)
{
    QGraphicsView::drawForeground(painter, rect);
    auto *s = qobject_cast<GraphScene *>(scene());
    if (!s || m_current < 0 || m_current >= s->placement().nodes.size() || !hasFocus())
        return;
    QPen pen(palette().color(QPalette::Highlight), 0, Qt::DashLine);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(s->placement().nodes[m_current].adjusted(-3, -3, 3, 3));
}

void GraphCanvas::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Right:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Up:
            moveCurrent(event->key() == Qt::Key_Right || event->key() == Qt::Key_Down);
            return event->accept();
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (m_current >= 0)
                emit nodeClicked(m_current);
            return event->accept();
        default:
            break;
        }
    }
    if (event->modifiers() & Qt::ControlModifier) {
        const ViewportAnchor anchor = transformationAnchor();
        setTransformationAnchor(QGraphicsView::AnchorViewCenter);
        bool done = true;
        switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            zoomBy(zoomStep);
            break;
        case Qt::Key_Minus:
            zoomBy(1 / zoomStep);
            break;
        case Qt::Key_0:
            fit();
            break;
        default:
            done = false;
        }
        setTransformationAnchor(anchor);
        if (done)
            return event->accept();
    }
    QGraphicsView::keyPressEvent(event);
}

// A click is a press and release at (nearly) one place; anything longer drags the picture.
void GraphCanvas::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    m_pressPos = event->position().toPoint();
    QGraphicsView::mousePressEvent(event);
}

void GraphCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    QGraphicsView::mouseReleaseEvent(event);
    if (!m_pressed || event->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    if ((event->position().toPoint() - m_pressPos).manhattanLength() > 4)
        return;
    if (auto *s = qobject_cast<GraphScene *>(scene()))
        if (const int node = s->nodeAt(mapToScene(event->position().toPoint())); node >= 0)
            emit nodeClicked(node);
}

void GraphCanvas::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("mnuGraph"));
    int node = -1;
    if (auto *s = qobject_cast<GraphScene *>(scene()))
        node = s->nodeAt(mapToScene(event->pos()));
    QAction *showXml = nullptr;
    if (node >= 0) {
        showXml = menu.addAction(tr("Show in XML"));
        showXml->setObjectName(QStringLiteral("actShowInXml"));
        menu.addSeparator();
    }
    QAction *svg = menu.addAction(tr("Export SVG..."));
    svg->setObjectName(QStringLiteral("actExportSvg"));
    QAction *png = menu.addAction(tr("Export PNG..."));
    png->setObjectName(QStringLiteral("actExportPng"));
    menu.addSeparator();
    QAction *fitAction = menu.addAction(tr("Fit\tCtrl+0"));
    fitAction->setObjectName(QStringLiteral("actFit"));
    QAction *chosen = menu.exec(event->globalPos());
    if (chosen && chosen == showXml)
        emit showInXmlRequested(node);
    else if (chosen == svg || chosen == png)
        emit exportRequested(chosen == svg);
    else if (chosen == fitAction)
        fit();
}

// ---- The page ---------------------------------------------------------------------------

GraphPage::GraphPage(EditorSession *session, QWidget *parent)
    : QWidget(parent), m_session(session), m_scene(new GraphScene(this))
{
    m_scene->setObjectName(QStringLiteral("sceneGraph"));
    auto *lblDepth = new QLabel(tr("Depth:"), this);
    lblDepth->setObjectName(QStringLiteral("lblDepth"));
    spnDepth = new QSpinBox(this);
    spnDepth->setObjectName(QStringLiteral("spnDepth"));
    spnDepth->setRange(1, 2);
    spnDepth->setToolTip(tr("1: the instance's own references; 2: theirs too"));
    lblDepth->setBuddy(spnDepth);
    spnDepth->installEventFilter(this); // Ctrl+0 fits from the depth box too
    auto *lblHint = new QLabel(tr("Click a box to show it. Ctrl+wheel zooms, Ctrl+0 fits."), this);
    lblHint->setObjectName(QStringLiteral("lblGraphHint"));
    lblHint->setForegroundRole(QPalette::PlaceholderText);
    m_canvas = new GraphCanvas(this);
    m_canvas->setObjectName(QStringLiteral("ctrlGraph"));
    m_canvas->setFocusPolicy(Qt::StrongFocus);
    m_canvas->setScene(m_scene);

    auto *bar = new QHBoxLayout;
    bar->addWidget(lblDepth);
    bar->addWidget(spnDepth);
    bar->addSpacing(12);
    bar->addWidget(lblHint, 1);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->addLayout(bar);
    column->addWidget(m_canvas, 1);

    connect(spnDepth, &QSpinBox::valueChanged, this, &GraphPage::markStale);
    connect(m_canvas, &GraphCanvas::nodeClicked, this, &GraphPage::onNodeClicked);
    connect(m_canvas, &GraphCanvas::exportRequested, this, &GraphPage::exportPicture);
    connect(m_canvas, &GraphCanvas::showInXmlRequested, this, [this](int node) {
        if (node >= 0 && node < m_model.nodes().size() && m_model.nodes()[node].element)
            emit showInXmlRequested(m_model.nodes()[node].element);
    });
    // Another instance on show, or a change of its rows (an edit, a link, an undo), changes the
    // graph.
    connect(session, &EditorSession::shownInstanceChanged, this, &GraphPage::markStale);
    connect(session->rows(), &QAbstractItemModel::modelReset, this, &GraphPage::markStale);
    connect(session->rows(), &QAbstractItemModel::dataChanged, this, &GraphPage::markStale);
}

void GraphPage::markStale()
{
    m_stale = true;
    // One build for a burst of changes, and none while the tab is not on show.
    if (!isVisible() || m_scheduled)
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_scheduled = false;
        if (isVisible())
            rebuildIfStale();
    });
}

bool GraphPage::eventFilter(QObject *watched, QEvent *event)
{
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (watched == spnDepth && key &&
        static_cast<QKeyEvent *>(event)->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_0)) {
        event->accept();
        if (event->type() == QEvent::KeyPress)
            m_canvas->fit();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void GraphPage::rebuildIfStale()
{
    if (m_stale)
        rebuild();
}

void GraphPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    rebuildIfStale();
}

void GraphPage::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        m_stale = true;
        if (isVisible())
            rebuild();
    }
}

void GraphPage::rebuild()
{
    m_stale = false;
    const XmlNode centre = m_session->shownInstance();
    XmlDocument *doc = m_session->document();
    if (doc && centre && centre.belongsTo(doc) && !m_session->isLoading()) {
        const QString key = m_session->fileName() + QLatin1Char('#') + firstAttributeText(centre);
        if (key != m_centreKey)
            m_model.clearExpanded();
        m_centreKey = key;
        // Laid out at the greatest depth and shown to the depth asked for: a box keeps its place
        // when the depth changes.
        m_model.build(doc, m_session->fileName(), centre, spnDepth->maximum(),
                      graphReferrers(doc, m_session->referenceIndex()));
    } else {
        m_model.build(nullptr, {}, {}, 1, {});
    }
    if (m_model.nodes().isEmpty()) {
        m_centreKey.clear();
        m_scene->drawMessage(tr("Select an instance to see its references."), palette(), font());
        m_canvas->resetTransform();
        m_canvas->showPicture(m_scene->sceneRect());
        return;
    }
    if (!m_scene->draw(m_model, palette(), font(), spnDepth->value()))
        m_scene->drawMessage(tr("The graph could not be laid out."), palette(), font());
    // The centre is the scene's origin in every layout: keeping it in the middle of the view
    // keeps it in place when the graph grows. At depth 1 the view fits the boxes shown.
    m_canvas->showPicture(m_scene->sceneRect());
    if (spnDepth->value() == 1 && !m_scene->shownBounds().isNull())
        m_canvas->fitAroundOrigin(m_scene->shownBounds());
}

void GraphPage::onNodeClicked(int node)
{
    if (node < 0 || node >= m_model.nodes().size())
        return;
    const GraphNode &n = m_model.nodes()[node];
    switch (n.kind) {
    case GraphNode::Kind::Instance:
        if (node != m_model.centre())
            emit showRequested(QString(), n.id, n.element);
        break;
    case GraphNode::Kind::OtherFile:
        emit showRequested(n.file, n.id, XmlNode());
        break;
    case GraphNode::Kind::More:
        m_model.expand(n.expands);
        rebuild();
        break;
    case GraphNode::Kind::Missing:
        break;
    }
}

void GraphPage::exportPicture(bool svg)
{
    const QString suggested = QFileInfo(m_session->fileName()).completeBaseName() + QLatin1Char('-') +
                              firstAttributeText(m_session->shownInstance()) +
                              (svg ? QStringLiteral(".svg") : QStringLiteral(".png"));
    const QString path =
        QFileDialog::getSaveFileName(this, svg ? tr("Export SVG") : tr("Export PNG"),
                                     QFileInfo(m_session->fileName()).dir().filePath(suggested),
                                     svg ? tr("SVG images (*.svg)") : tr("PNG images (*.png)"));
    if (path.isEmpty())
        return;
    const bool ok = svg ? m_scene->writeSvg(path, m_centreKey) : m_scene->writePng(path, devicePixelRatioF());
    if (!ok) {
        QMessageBox box(this);
        box.setWindowTitle(tr("Error"));
        box.setIcon(QMessageBox::Critical);
        box.setText(tr("Can't export the graph."));
        box.setInformativeText(m_scene->error());
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    }
}

} // namespace quillon
