#pragma once
// The picture of a GraphModel: one box per node (its lines of text), one arrow per edge with
// its label, placed by GraphLayout, in the colours of a palette (so a dark theme gives a dark
// picture). The centre is drawn highlighted, instances of other files in the alternate base
// colour, missing targets with a dashed outline, "+N more" without a frame. The same scene
// is shown by the "Graph" tab and written to SVG or PNG.

#include "graph/graphlayout.h"
#include "graph/graphmodel.h"

#include <QFont>
#include <QGraphicsScene>
#include <QPalette>

#include <climits>

namespace quillon {

class GraphScene : public QGraphicsScene {
    Q_OBJECT
public:
    explicit GraphScene(QObject *parent = nullptr);

    // Draws model anew: the nodes up to shownDepth steps from the centre and the edges between
    // them. Every node is laid out, so that a node keeps its place whatever the depth shown.
    // False when the layout failed (then nothing is drawn).
    bool draw(const GraphModel &model, const QPalette &palette, const QFont &font, int shownDepth = INT_MAX);
    // A line of text instead of a graph (nothing to show).
    void drawMessage(const QString &text, const QPalette &palette, const QFont &font);

    // The node drawn at a scene point, -1 where there is none (or it is not shown).
    int nodeAt(const QPointF &pos) const;
    // The nodes drawn, in index order, and the bounds of their boxes (null when none).
    QList<int> shownNodes() const;
    QRectF shownBounds() const;
    // Where each node's box and each edge went; the sizes given to the layout.
    const GraphLayoutResult &placement() const { return m_placement; }
    const GraphLayoutInput &layoutInput() const { return m_input; }

    // The picture as an SVG file or as a PNG image (writePng: a JPEG when the name ends in
    // .jpg or .jpeg) (scale: pixels per scene unit), written as
    // documents are (FileSink): the old file stays whole until the new one is. Every text of
    // the SVG is escaped, so it is well-formed whatever the title and the boxes hold. False,
    // and error() says why, when the file cannot be written.
    bool writeSvg(const QString &path, const QString &title = {});
    bool writePng(const QString &path, qreal scale = 1.0);
    QString error() const { return m_error; }

    static constexpr int nodeKey = 0; // item data: the node index a box stands for

private:
    QRectF pictureRect() const;
    bool writeFile(const QString &path, const QByteArray &bytes);
    GraphLayoutInput m_input;
    GraphLayoutResult m_placement;
    QList<bool> m_shown; // by node: drawn
    QString m_error;
};

} // namespace quillon
