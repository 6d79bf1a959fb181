// Graphviz behind one function: the graph is built through the cgraph API, laid out by the
// dot plugin linked into the library (no plugin configuration is read from the system), and
// the positions read back from the layout's records.
#include "graph/graphlayout.h"

#include <graphviz/gvc.h>
#include <graphviz/types.h>

#include <QByteArray>
#include <QtMath>

#include <memory>

extern "C" {
extern gvplugin_library_t gvplugin_dot_layout_LTX_library;
}

namespace quillon {

namespace {

lt_symlist_t builtinPlugins[] = {
    {"gvplugin_dot_layout_LTX_library", &gvplugin_dot_layout_LTX_library},
    {nullptr, nullptr},
};

// Graphviz lays out in points and takes sizes in inches.
constexpr double pointsPerInch = 72.0;

QByteArray number(double v)
{
    return QByteArray::number(v, 'f', 3);
}

// A label of exactly the given size: an HTML-like table with one fixed, empty cell.
QByteArray labelOfSize(const QSizeF &s)
{
    return "<TABLE BORDER=\"0\" CELLBORDER=\"0\" CELLSPACING=\"0\" CELLPADDING=\"0\"><TR><TD FIXEDSIZE=\"TRUE\" "
           "WIDTH=\"" +
           QByteArray::number(qCeil(s.width())) + "\" HEIGHT=\"" + QByteArray::number(qCeil(s.height())) +
           "\"></TD></TR></TABLE>";
}

struct ContextDeleter {
    void operator()(GVC_t *c) const { gvFreeContext(c); }
};
struct GraphDeleter {
    void operator()(Agraph_t *g) const { agclose(g); }
};

} // namespace

GraphLayoutResult GraphLayout::layout(const GraphLayoutInput &input)
{
    GraphLayoutResult result;
    if (input.nodes.isEmpty())
        return result;
    agseterr(AGERR); // warnings stay quiet; errors go to stderr
    std::unique_ptr<GVC_t, ContextDeleter> gvc(gvContextPlugins(builtinPlugins, 0));
    char graphName[] = "g";
    std::unique_ptr<Agraph_t, GraphDeleter> g(agopen(graphName, Agdirected, nullptr));
    if (!gvc || !g)
        return result;
    Agraph_t *graph = g.get();

    auto set = [](void *obj, const char *name, const QByteArray &value) {
        agsafeset(obj, const_cast<char *>(name), const_cast<char *>(value.constData()), const_cast<char *>(""));
    };
    set(graph, "rankdir", "LR");
    set(graph, "nodesep", "0.25");
    set(graph, "ranksep", "0.6");
    // No "ordering": the flat edges dot adds for it are not freed by gvFreeLayout (2.42).

    Agsym_t *shape = agattr(graph, AGNODE, const_cast<char *>("shape"), const_cast<char *>("box"));
    Agsym_t *fixed = agattr(graph, AGNODE, const_cast<char *>("fixedsize"), const_cast<char *>("true"));
    Agsym_t *width = agattr(graph, AGNODE, const_cast<char *>("width"), const_cast<char *>("0.75"));
    Agsym_t *height = agattr(graph, AGNODE, const_cast<char *>("height"), const_cast<char *>("0.5"));
    Agsym_t *nodeLabel = agattr(graph, AGNODE, const_cast<char *>("label"), const_cast<char *>(""));
    Agsym_t *edgeLabel = agattr(graph, AGEDGE, const_cast<char *>("label"), const_cast<char *>(""));
    Q_UNUSED(shape);
    Q_UNUSED(fixed);

    QList<Agnode_t *> nodes;
    for (int i = 0; i < input.nodes.size(); ++i) {
        QByteArray name = "n" + QByteArray::number(i);
        Agnode_t *n = agnode(graph, name.data(), 1);
        agxset(n, width, number(input.nodes[i].width() / pointsPerInch).data());
        agxset(n, height, number(input.nodes[i].height() / pointsPerInch).data());
        agxset(n, nodeLabel, const_cast<char *>(""));
        nodes.append(n);
    }
    QList<Agedge_t *> edges;
    for (int i = 0; i < input.edges.size(); ++i) {
        const GraphLayoutInput::Edge &e = input.edges[i];
        if (e.from < 0 || e.to < 0 || e.from >= nodes.size() || e.to >= nodes.size()) {
            edges.append(nullptr);
            continue;
        }
        QByteArray name = "e" + QByteArray::number(i);
        Agedge_t *edge = agedge(graph, nodes[e.from], nodes[e.to], name.data(), 1);
        if (!e.label.isEmpty()) {
            QByteArray html = labelOfSize(e.label);
            char *s = agstrdup_html(graph, html.data());
            agxset(edge, edgeLabel, s);
            agstrfree(graph, s);
        }
        edges.append(edge);
    }

    if (gvLayout(gvc.get(), graph, "dot") != 0)
        return result;

    // Graphviz's y points up; ours down. The anchor's centre becomes the origin.
    const int anchor = qBound(0, input.anchor, int(nodes.size()) - 1);
    const pointf a = ND_coord(nodes[anchor]);
    auto map = [&a](pointf p) { return QPointF(p.x - a.x, a.y - p.y); };

    for (int i = 0; i < nodes.size(); ++i) {
        const QPointF c = map(ND_coord(nodes[i]));
        const QSizeF s = input.nodes[i];
        const QRectF r(c.x() - s.width() / 2, c.y() - s.height() / 2, s.width(), s.height());
        result.nodes.append(r);
        result.bounds |= r;
    }
    for (int i = 0; i < edges.size(); ++i) {
        GraphLayoutResult::Edge out;
        if (Agedge_t *e = edges[i]) {
            if (splines *spl = ED_spl(e); spl && spl->size > 0) {
                const bezier &bz = spl->list[0];
                for (int k = 0; k < bz.size; ++k)
                    out.path.append(map(bz.list[k]));
                out.tip = bz.eflag ? map(bz.ep) : (out.path.isEmpty() ? QPointF() : out.path.last());
                for (const QPointF &p : std::as_const(out.path))
                    result.bounds |= QRectF(p, QSizeF(0.01, 0.01));
                result.bounds |= QRectF(out.tip, QSizeF(0.01, 0.01));
            }
            if (textlabel_t *l = ED_label(e); l && !input.edges[i].label.isEmpty()) {
                const QSizeF s = input.edges[i].label;
                const QPointF c = map(l->pos);
                out.label = QRectF(c.x() - s.width() / 2, c.y() - s.height() / 2, s.width(), s.height());
                result.bounds |= out.label;
            }
        }
        result.edges.append(out);
    }
    gvFreeLayout(gvc.get(), graph);
    result.ok = true;
    return result;
}

} // namespace quillon
