// The drawing of the reference graph: sizes measured with the font, places from GraphLayout.
#include "graph/graphscene.h"
#include "document/filesink.h"

#include <QBuffer>
#include <QFileInfo>
#include <QCursor>
#include <QDir>
#include <QFontMetricsF>
#include <QGraphicsPathItem>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <QtMath>

namespace quillon {

namespace {

constexpr qreal padX = 10, padY = 5, labelPad = 3, arrowWidth = 7, margin = 12;

struct NodeLook {
    QColor fill, frame, text;
    Qt::PenStyle style = Qt::SolidLine;
};

NodeLook lookOf(const GraphNode &n, bool centre, const QPalette &p)
{
    NodeLook l{p.color(QPalette::Button), p.color(QPalette::WindowText), p.color(QPalette::ButtonText)};
    if (centre) {
        l.fill = p.color(QPalette::Highlight);
        l.text = p.color(QPalette::HighlightedText);
        return l;
    }
    switch (n.kind) {
    case GraphNode::Kind::Instance:
        break;
    case GraphNode::Kind::OtherFile:
        l.fill = p.color(QPalette::AlternateBase);
        l.text = p.color(QPalette::Text);
        l.style = Qt::DashDotLine;
        break;
    case GraphNode::Kind::Missing:
        l.fill = p.color(QPalette::Base);
        l.frame = l.text = p.color(QPalette::PlaceholderText);
        l.style = Qt::DashLine;
        break;
    case GraphNode::Kind::More:
        l.fill = p.color(QPalette::Base);
        l.frame = p.color(QPalette::Mid);
        l.text = p.color(QPalette::Link);
        l.style = Qt::DotLine;
        break;
    }
    return l;
}

} // namespace

GraphScene::GraphScene(QObject *parent) : QGraphicsScene(parent) { }

bool GraphScene::draw(const GraphModel &model, const QPalette &palette, const QFont &font, int shownDepth)
{
    clear();
    setBackgroundBrush(palette.color(QPalette::Base));
    const QFontMetricsF fm(font);
    m_input = {};
    m_input.anchor = model.centre();
    for (const GraphNode &n : model.nodes()) {
        qreal w = 0;
        const QStringList lines = n.lines();
        for (const QString &line : lines)
            w = qMax(w, fm.horizontalAdvance(line));
        m_input.nodes.append(QSizeF(qCeil(w + 2 * padX), qCeil(lines.size() * fm.lineSpacing() + 2 * padY)));
    }
    for (const GraphEdge &e : model.edges()) {
        const QSizeF label = e.label.isEmpty()
                                 ? QSizeF()
                                 : QSizeF(qCeil(fm.horizontalAdvance(e.label) + 2 * labelPad), qCeil(fm.height()));
        m_input.edges.append({e.from, e.to, label});
    }
    m_placement = GraphLayout::layout(m_input);
    m_shown.clear();
    if (!m_placement.ok)
        return false;
    for (const GraphNode &n : model.nodes())
        m_shown.append(n.depth <= shownDepth);

    const QColor line = palette.color(QPalette::Text);
    for (int i = 0; i < model.edges().size(); ++i) {
        const GraphEdge &e = model.edges()[i];
        const GraphLayoutResult::Edge &placed = m_placement.edges[i];
        if (placed.path.isEmpty() || !m_shown[e.from] || !m_shown[e.to])
            continue;
        QPainterPath path(placed.path.first());
        for (int k = 1; k + 2 < placed.path.size(); k += 3)
            path.cubicTo(placed.path[k], placed.path[k + 1], placed.path[k + 2]);
        const Qt::PenStyle style =
            model.nodes()[e.to].kind == GraphNode::Kind::More || model.nodes()[e.from].kind == GraphNode::Kind::More
                ? Qt::DotLine
                : Qt::SolidLine;
        addPath(path, QPen(line, 1.2, style));
        // The arrow head from the end of the path to its tip.
        const QPointF base = placed.path.last(), tip = placed.tip;
        const QLineF axis(base, tip);
        if (axis.length() > 0.5) {
            const QPointF n = QPointF(-axis.dy(), axis.dx()) / axis.length() * (arrowWidth / 2);
            QPainterPath head;
            head.addPolygon(QPolygonF({tip, base + n, base - n, tip}));
            addPath(head, QPen(line, 1), QBrush(line));
        }
        if (!placed.label.isEmpty()) {
            auto *label = addSimpleText(e.label, font);
            label->setBrush(line);
            label->setPos(placed.label.topLeft() + QPointF(labelPad, 0));
        }
    }
    for (int i = 0; i < model.nodes().size(); ++i) {
        const GraphNode &n = model.nodes()[i];
        if (!m_shown[i])
            continue;
        const QRectF r = m_placement.nodes[i];
        const NodeLook look = lookOf(n, i == model.centre(), palette);
        QPen frame(look.frame, i == model.centre() ? 2 : 1, look.style);
        auto *box = addRect(r, frame, QBrush(look.fill));
        box->setData(nodeKey, i);
        box->setToolTip(n.kind == GraphNode::Kind::More ? tr("Click to show them all")
                                                        : n.lines().join(QLatin1Char(' ')));
        if (n.kind != GraphNode::Kind::Missing)
            box->setCursor(QCursor(Qt::PointingHandCursor));
        const QStringList lines = n.lines();
        for (int k = 0; k < lines.size(); ++k) {
            auto *text = new QGraphicsSimpleTextItem(lines[k], box);
            QFont f = font;
            f.setBold(k == 0 && n.kind == GraphNode::Kind::Instance);
            text->setFont(f);
            text->setBrush(look.text);
            const qreal w = QFontMetricsF(f).horizontalAdvance(lines[k]);
            text->setPos(r.center().x() - w / 2, r.top() + padY + k * fm.lineSpacing());
        }
    }
    setSceneRect(pictureRect());
    return true;
}

void GraphScene::drawMessage(const QString &text, const QPalette &palette, const QFont &font)
{
    clear();
    m_input = {};
    m_placement = {};
    m_shown.clear();
    setBackgroundBrush(palette.color(QPalette::Base));
    auto *item = addSimpleText(text, font);
    item->setBrush(palette.color(QPalette::PlaceholderText));
    const QRectF r = item->boundingRect();
    item->setPos(-r.width() / 2, -r.height() / 2);
    setSceneRect(pictureRect());
}

int GraphScene::nodeAt(const QPointF &pos) const
{
    for (int i = 0; i < m_placement.nodes.size(); ++i)
        if (m_shown.value(i) && m_placement.nodes[i].contains(pos))
            return i;
    return -1;
}

QList<int> GraphScene::shownNodes() const
{
    QList<int> nodes;
    for (int i = 0; i < m_placement.nodes.size(); ++i)
        if (m_shown.value(i))
            nodes << i;
    return nodes;
}

QRectF GraphScene::shownBounds() const
{
    QRectF bounds;
    for (int i : shownNodes())
        bounds = bounds.united(m_placement.nodes[i]);
    return bounds.isNull() ? bounds : bounds.adjusted(-margin, -margin, margin, margin);
}

QRectF GraphScene::pictureRect() const
{
    return itemsBoundingRect().adjusted(-margin, -margin, margin, margin);
}

namespace {

// Text as XML character data or an attribute value: markup characters escaped, characters
// that XML 1.0 does not allow replaced.
QString xmlText(const QString &text)
{
    QString out = text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
    for (QChar &c : out)
        if ((c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c.unicode() >= 0xFFFE)
            c = QChar::ReplacementCharacter;
    return out;
}

// The SVG as QSvgGenerator wrote it, with the characters that XML 1.0 does not allow (which it
// leaves in texts as they are) replaced. In UTF-8 they are single bytes, or EF BF BE/BF.
QByteArray wellFormed(QByteArray svg)
{
    static const QByteArray replacement = QString(QChar::ReplacementCharacter).toUtf8();
    for (qsizetype i = 0; i < svg.size(); ++i) {
        const uchar c = uchar(svg[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            svg.replace(i, 1, replacement);
        else if (c == 0xEF && i + 2 < svg.size() && uchar(svg[i + 1]) == 0xBF && (uchar(svg[i + 2]) & 0xFE) == 0xBE)
            svg.replace(i, 3, replacement);
    }
    return svg;
}

} // namespace

bool GraphScene::writeSvg(const QString &path, const QString &title)
{
    const QRectF source = pictureRect();
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&out);
    svg.setSize(source.size().toSize());
    svg.setViewBox(QRectF(QPointF(0, 0), source.size()));
    // The generator writes the title as it gets it.
    svg.setTitle(xmlText(title.isEmpty() ? tr("References") : title));
    QPainter p;
    if (!p.begin(&svg)) {
        m_error = tr("cannot write %1").arg(path);
        return false;
    }
    p.fillRect(QRectF(QPointF(0, 0), source.size()), backgroundBrush());
    render(&p, QRectF(QPointF(0, 0), source.size()), source);
    if (!p.end()) {
        m_error = tr("cannot write %1").arg(path);
        return false;
    }
    return writeFile(path, wellFormed(out.data()));
}

bool GraphScene::writePng(const QString &path, qreal scale)
{
    const QRectF source = pictureRect();
    QImage image((source.size() * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(backgroundBrush().color());
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        render(&p, QRectF(QPointF(0, 0), image.size()), source);
    }
    // A JPEG by its name (it has no transparency: the picture stands on its background);
    // a PNG otherwise.
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool jpeg = suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg");
    if (jpeg)
        image = image.convertToFormat(QImage::Format_RGB32);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!image.save(&out, jpeg ? "JPG" : "PNG")) {
        m_error = tr("cannot write %1").arg(path);
        return false;
    }
    return writeFile(path, out.data());
}

bool GraphScene::writeFile(const QString &path, const QByteArray &bytes)
{
    const QString problem = FileSink::writeWhole(path, bytes);
    if (problem.isEmpty())
        return true;
    m_error = tr("cannot write %1: %2").arg(QDir::toNativeSeparators(path), problem);
    return false;
}

} // namespace quillon
