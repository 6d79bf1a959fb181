#pragma once
// Places boxes and labelled arrows with Graphviz's `dot` layout, left to right. The caller
// gives the size of every box and label (in the units it draws in); the result has every box,
// every edge's path and every label's place, y pointing down, with node `anchor` centred on
// the origin so that the node the graph is about keeps its place between layouts.
//
// The same input gives the same result: nodes and edges go to Graphviz in the order given.

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace quillon {

struct GraphLayoutInput {
    struct Edge {
        int from = -1;
        int to = -1;
        QSizeF label; // empty: no label
    };
    QList<QSizeF> nodes;
    QList<Edge> edges;
    int anchor = 0;
};

struct GraphLayoutResult {
    struct Edge {
        // A cubic Bézier path: the start, then three points per segment.
        QList<QPointF> path;
        QPointF tip; // the arrow's point (the path ends at the arrow's base)
        QRectF label; // empty when the edge has no label
    };
    bool ok = false;
    QList<QRectF> nodes;
    QList<Edge> edges;
    QRectF bounds; // everything drawn
};

class GraphLayout {
public:
    static GraphLayoutResult layout(const GraphLayoutInput &input);
};

} // namespace quillon
