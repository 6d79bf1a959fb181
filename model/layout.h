#pragma once
// The editor control's arrangement, in twips, as plain arithmetic: the design-time
// positions, the stretch rules applied when the control is resized, and the splitter drag.
// Widgets are placed from these numbers at the boundary (twipsToPixels).

namespace quillon::layout {

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Rect &) const = default;
};

struct Line {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool operator==(const Line &) const = default;
};

// Positions of the control's children. lblAddress and ctrlTab are in the control's
// coordinates; everything else is in ctrlTab's.
struct EditorLayout {
    int controlWidth = 7620, controlHeight = 6480;
    Rect lblAddress, ctrlTab, ieXML, cmdBack, cmdLoad, txtEdit, ctrlProperties, ctrlTree, lblEntity, lblSelectWhat,
        lblResizeBar;
    Line linHilite, linShadow;

    // Insets taken once from the design positions (and m_nPropsInsetX again after a drag).
    int propsInsetX = 0, propsInsetY = 0, treeInsetY = 0, tabInsetY = 0;

    // Splitter state.
    bool dragging = false;
    int dragX = 0;

    bool operator==(const EditorLayout &) const = default;
};

// The design-time arrangement with its insets taken (the control is 7620 x 6480).
EditorLayout designLayout();

// Stretches the arrangement to a control of width x height; tabStripHeight is the height of
// the tab bar (TH). lblSelectWhat's width and height must hold the label's own size (it sizes
// itself to its caption) before the call. Sizes that would come out below zero are zero.
void resize(EditorLayout &l, int width, int height, int tabStripHeight);

// The smallest control, in twips, at which no two children overlap and each lies within its
// parent: the list keeps its minimum width and is wide enough for the hint that stands in its
// place, the list and the tree keep their minimum heights, <<Back and the "XML" tab's text fit,
// all with the arrangement's margins. As for resize(), lblSelectWhat holds the hint's size.
struct Size {
    int width = 0, height = 0;
    bool operator==(const Size &) const = default;
};
Size minimumSize(const EditorLayout &l, int tabStripHeight);

// Splitter drag on the bar, x in the bar's own coordinates (twips).
void dragBegin(EditorLayout &l, int x);
// Returns true when the panes moved. lblEntity moves with <<Back, so that the button never
// runs under the label.
bool dragMove(EditorLayout &l, int x);
// Ends a drag (places the bar at the new border and takes the list's inset again).
// Returns whether a drag was in progress; the caller re-fits the list's columns either way.
bool dragEnd(EditorLayout &l);

// Where the splitter takes the mouse, in pixels at dpi (x and width; the bar's top and height
// are its own): both lines (each 2 pixels wide, centred on its x) and `slack` pixels either
// side of them, so that the mouse grabs what the user sees.
struct Span {
    int left = 0, width = 0;
    bool operator==(const Span &) const = default;
};
Span splitterGrip(const EditorLayout &l, double dpi, int slack);

// Centres lblSelectWhat over ctrlProperties.
void centreHint(EditorLayout &l);

// Column widths of the property list after its content-based fit: column 1 gets `extra`
// twips more than its fitted width (never starting below 0); column 2 takes the rest of the
// list's width less 60 twips, never negative. Returns {column1, column2}.
struct ColumnWidths {
    int first = 0, second = 0;
};
ColumnWidths fitColumns(double fittedFirst, int listWidth, int extra);
// fitColumns, with column 1 no wider than the list's width times maxShare: a long caption is
// shown whole up to that share, and the values keep the rest.
ColumnWidths fitColumnsUpTo(double fittedFirst, int listWidth, int extra, double maxShare);

// Rounding of the original runtime: to the nearest integer, halves to even.
int roundHalfEven(double v);

// Conversion at the widget boundary, at dpi logical dots per inch (1440 twips per inch),
// rounded as roundHalfEven; a dpi that is not positive gives 0.
int twipsToPixels(int twips, double dpi);
int pixelsToTwips(int pixels, double dpi);

} // namespace quillon::layout
