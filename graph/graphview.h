#pragma once
// The "Graph" tab: the reference neighbourhood of the instance the session shows, drawn by a
// GraphScene in the view `ctrlGraph`, with its depth in `spnDepth`. It follows the session
// (a tree click, a followed row, Back) but builds only while it is visible: a change seen
// while hidden is drawn when the tab comes forward.
//
// In ctrlGraph: a click on a box asks for that instance to be shown (showRequested), a click
// on "+N more" shows the rest; Ctrl+wheel and Ctrl+plus/minus zoom, Ctrl+0 fits; the context
// menu exports the picture as SVG or PNG.

#include "graph/graphmodel.h"
#include "graph/graphscene.h"

#include <QGraphicsView>
#include <QWidget>

class QSpinBox;

namespace quillon {

class EditorSession;

class GraphCanvas : public QGraphicsView {
    Q_OBJECT
public:
    explicit GraphCanvas(QWidget *parent = nullptr);
    // Shows a picture drawn around the scene's origin, the origin in the middle.
    void showPicture(const QRectF &picture);
    void zoomBy(qreal factor);
    void fit();
    // Shows boxes (a part of the picture around the origin) with the origin in the middle, at
    // zoom 1 or smaller where they would not fit.
    void fitAroundOrigin(const QRectF &boxes);
    qreal zoom() const { return transform().m11(); }
    // The box the keyboard is on (Tab and the arrows move it, Enter clicks it); -1 for none.
    int currentNode() const { return m_current; }

signals:
    void nodeClicked(int node);
    void exportRequested(bool svg);
    // "Show in XML" on the menu of a box.
    void showInXmlRequested(int node);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void drawForeground(QPainter *painter, const QRectF &rect) override;

private:
    void updateScrollRange();
    // Moves the keyboard's box to the next or previous box drawn; false past either end.
    bool moveCurrent(bool next);
    int m_current = -1; // the box the keyboard is on, -1 for none
    QRectF m_picture;
    QPoint m_pressPos;
    bool m_pressed = false;
};

class GraphPage : public QWidget {
    Q_OBJECT
public:
    GraphPage(EditorSession *session, QWidget *parent = nullptr);

    const GraphModel &model() const { return m_model; }
    GraphScene *scene() const { return m_scene; }
    GraphCanvas *canvas() const { return m_canvas; }
    // Builds the graph now when something changed since the last build.
    void rebuildIfStale();

signals:
    // A box was clicked: show instance id of document (empty: the document shown).
    // element: the very instance of the document shown (null for another file's).
    void showRequested(const QString &document, const QString &id, const XmlNode &element);
    // "Show in XML" on a box of an instance of the document shown.
    void showInXmlRequested(const XmlNode &element);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void markStale();
    void rebuild();
    void onNodeClicked(int node);
    void exportPicture(bool svg);

    EditorSession *m_session;
    GraphModel m_model;
    GraphScene *m_scene;
    GraphCanvas *m_canvas;
    QSpinBox *spnDepth;
    QString m_centreKey; // what the last build was about
    bool m_stale = true;
    bool m_scheduled = false;
};

} // namespace quillon
