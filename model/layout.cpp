#include "model/layout.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace quillon::layout {

namespace {

// Margins and minimums of the arrangement, in twips.
constexpr int kTabMarginX = 260; // control width not given to the tab
constexpr int kTabMarginBottom = 130; // below the tab, on top of m_nTabInsetY
constexpr int kInsetMargin = 120; // added to a design position to give an inset
constexpr int kTabTopMargin = 130; // added to ctrlTab.Top to give m_nTabInsetY
constexpr int kBrowserMarginX = 360; // tab width not given to the browser
constexpr int kBrowserTop = 480; // the browser's top within the tab
constexpr int kStripGap = 60; // between the tab strip and the splitter's bottom
constexpr int kMinListWidth = 1500;
constexpr int kMinListHeight = 500;
constexpr int kMinTreeHeight = 500;
constexpr int kDragMinList = 1500; // a drag may not leave the list this wide or narrower
constexpr int kDragMinTree = 1000; // nor the tree this wide or narrower
constexpr int kBarOffset = 10; // the bar's left edge right of linHilite after a drag
constexpr int kColumnSpare = 60; // list width left over beside the two columns

int nonNegative(int v)
{
    return std::max(v, 0);
}

} // namespace

int roundHalfEven(double v)
{
    if (std::isnan(v))
        return 0;
    const double f = std::floor(v);
    const double frac = v - f;
    double r;
    if (frac < 0.5)
        r = f;
    else if (frac > 0.5)
        r = f + 1.0;
    else
        r = std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
    if (r >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (r <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(r);
}

int twipsToPixels(int twips, double dpi)
{
    if (!(dpi > 0.0))
        return 0;
    return roundHalfEven(static_cast<double>(twips) * dpi / 1440.0);
}

int pixelsToTwips(int pixels, double dpi)
{
    if (!(dpi > 0.0))
        return 0;
    return roundHalfEven(static_cast<double>(pixels) * 1440.0 / dpi);
}

EditorLayout designLayout()
{
    EditorLayout l;
    l.controlWidth = 7620;
    l.controlHeight = 6480;

    l.lblAddress = {120, 165, 7335, 300};
    l.ctrlTab = {120, 600, 7335, 5715};
    l.ieXML = {180, 480, 6990, 5055};
    l.cmdBack = {3480, 480, 1215, 375};
    l.cmdLoad = {120, 480, 2775, 375};
    l.txtEdit = {5160, 1320, 855, 285};
    l.ctrlProperties = {3480, 960, 3495, 4215};
    l.ctrlTree = {120, 510, 2775, 4665};
    l.lblEntity = {4800, 600, 75, 195};
    l.lblSelectWhat = {3825, 1920, 2925, 240};
    l.lblResizeBar = {3135, 315, 105, 5055};
    l.linHilite = {3120, 315, 3120, 5385};
    l.linShadow = {3255, 315, 3255, 5475};

    // The insets are measured once from the positions above.
    l.propsInsetX = l.ctrlProperties.left + kInsetMargin;
    l.propsInsetY = l.ctrlProperties.top + kInsetMargin;
    l.treeInsetY = l.ctrlTree.top + kInsetMargin;
    l.tabInsetY = l.ctrlTab.top + kTabTopMargin;

    l.dragging = false;
    l.dragX = 0;
    return l;
}

void centreHint(EditorLayout &l)
{
    const Rect &list = l.ctrlProperties;
    Rect &hint = l.lblSelectWhat;
    hint.left = roundHalfEven(list.left + (list.width - hint.width) / 2.0);
    hint.top = roundHalfEven(list.top + (list.height - hint.height) / 2.0);
}

void resize(EditorLayout &l, int width, int height, int tabStripHeight)
{
    l.controlWidth = width;
    l.controlHeight = height;

    // The tab fills the control less fixed margins; everything below follows the tab as it
    // actually is, so a tab clamped at zero gives the smallest sizes further down too.
    const int tabW = nonNegative(width - kTabMarginX);
    const int tabH = nonNegative(height - l.tabInsetY - kTabMarginBottom);
    l.ctrlTab.width = tabW;
    l.ctrlTab.height = tabH;

    // The list and the tree keep their left and top edges; the minimums win even where the
    // list then reaches past the tab.
    const int propW = std::max(tabW - l.propsInsetX, kMinListWidth);
    const int propH = std::max(tabH - l.propsInsetY, kMinListHeight);
    const int treeH = std::max(tabH - l.treeInsetY, kMinTreeHeight);
    l.ctrlProperties.width = propW;
    l.ctrlProperties.height = propH;
    l.ctrlTree.height = treeH;

    // The splitter runs from its top down to 60 above the bottom of the tab's page.
    const int barH = nonNegative(tabH - tabStripHeight - kStripGap);
    l.linHilite.y2 = l.linHilite.y1 + barH;
    l.linShadow.y2 = l.linShadow.y1 + barH;
    l.lblResizeBar.height = barH;

    l.lblAddress.width = nonNegative(width - 2 * l.lblAddress.left);

    // The gap below the browser equals the gap between the tab strip and the browser's top.
    l.ieXML.width = nonNegative(tabW - kBrowserMarginX);
    l.ieXML.height = nonNegative((tabH - tabStripHeight) - 2 * (kBrowserTop - tabStripHeight));

    centreHint(l);
}

Size minimumSize(const EditorLayout &l, int tabStripHeight)
{
    // Widths within the tab: the list from its inset, at least its minimum and the hint's
    // width (resize() leaves kInsetMargin to the right of it); <<Back with the same margin.
    const int listWidth = std::max(kMinListWidth, l.lblSelectWhat.width);
    const int tabW = std::max(l.propsInsetX + listWidth, l.cmdBack.left + l.cmdBack.width + kInsetMargin);
    // Heights within the tab: the list and the tree from their insets, the splitter below
    // the strip, and the "XML" tab's text (its height grows with the tab's) as tall as the
    // list at its smallest.
    const int browserH = kMinListHeight + 2 * (kBrowserTop - tabStripHeight) + tabStripHeight;
    const int tabH = std::max({l.propsInsetY + std::max(kMinListHeight, l.lblSelectWhat.height),
                               l.treeInsetY + kMinTreeHeight, tabStripHeight + kStripGap, browserH});
    return {tabW + kTabMarginX, tabH + l.tabInsetY + kTabMarginBottom};
}

void dragBegin(EditorLayout &l, int x)
{
    l.dragging = true;
    l.dragX = x;
}

bool dragMove(EditorLayout &l, int x)
{
    if (!l.dragging)
        return false;

    int d = x - l.dragX;
    // A step that would cross a limit is refused whole; the pointer must come back first.
    if (d > 0 && l.ctrlProperties.width - d <= kDragMinList) {
        d = 0;
        x = l.dragX;
    }
    if (d < 0 && l.ctrlTree.width + d <= kDragMinTree) {
        d = 0;
        x = l.dragX;
    }

    l.linHilite.x1 += d;
    l.linHilite.x2 = l.linHilite.x1;
    l.linShadow.x1 += d;
    l.linShadow.x2 = l.linShadow.x1;

    // The border moves; the list's right edge stays where it is.
    l.ctrlTree.width += d;
    l.ctrlProperties.left += d;
    l.ctrlProperties.width -= d;
    l.cmdBack.left += d;
    l.lblEntity.left += d;
    l.lblSelectWhat.left += d;
    centreHint(l);

    l.dragX = x;
    return d != 0;
}

bool dragEnd(EditorLayout &l)
{
    if (!l.dragging)
        return false;
    l.lblResizeBar.left = l.linHilite.x1 + kBarOffset;
    l.propsInsetX = l.ctrlProperties.left + kInsetMargin;
    l.dragging = false;
    return true;
}

Span splitterGrip(const EditorLayout &l, double dpi, int slack)
{
    const int left = twipsToPixels(l.linHilite.x1, dpi) - 1 - slack;
    const int right = twipsToPixels(l.linShadow.x1, dpi) + 1 + slack;
    return {left, std::max(right - left, 0)};
}

ColumnWidths fitColumns(double fittedFirst, int listWidth, int extra)
{
    // Column 1 is a fractional width (the list view's auto-size, converted to twips);
    // column 2 takes the rest, figured in single precision as the list view holds it.
    const float first = static_cast<float>(fittedFirst > 0.0 ? fittedFirst : 0.0) + static_cast<float>(extra);
    const float second = static_cast<float>(listWidth) - first - static_cast<float>(kColumnSpare);
    ColumnWidths w;
    w.first = roundHalfEven(first);
    w.second = nonNegative(roundHalfEven(second));
    return w;
}

ColumnWidths fitColumnsUpTo(double fittedFirst, int listWidth, int extra, double maxShare)
{
    ColumnWidths w = fitColumns(fittedFirst, listWidth, extra);
    const int cap = roundHalfEven(nonNegative(listWidth) * maxShare);
    if (w.first > cap) {
        w.first = cap;
        w.second = nonNegative(listWidth - cap - kColumnSpare);
    }
    return w;
}

} // namespace quillon::layout
