#pragma once
// What assistive technology sees of the "XML" tab's text.
//
// QScintilla's own accessible tells the caret's place as a character offset that it counts from
// the start of the text at every paint; at the end of a text of hundreds of megabytes that is
// seconds per paint. This one counts through Scintilla's per-line index of UTF-16 offsets,
// which is made only when an assistive technology asks for an offset, so that the text costs
// nothing extra while none is listening.

class QsciScintilla;

namespace quillon::xmltextaccess {

// Makes editor's accessible the one below (the factory is installed once, after QScintilla's,
// so that it is asked first).
void adopt(QsciScintilla *editor);

// The caret moved: tells a listening assistive technology the caret's new offset.
void caretMoved(QsciScintilla *editor);

} // namespace quillon::xmltextaccess
