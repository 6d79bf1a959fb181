// The "XML" tab: its colours follow the palette, as the hint's do, a notice says when the text
// on show (the file as saved) lacks the document's unsaved edits, a file dragged over it is the
// window's, and a large text is shown plain.
#include "widgets/ctrlxmleditor.h"
#include "widgets/xmlsourceview.h"
#include "widgets/findbar.h"
#include "testsupport.h"

#include <Qsci/qscilexer.h>
#include <Qsci/qsciscintilla.h>

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <cmath>

using namespace quillon;
using namespace testsupport;

namespace {

QColor fromScintilla(long bgr)
{
    return QColor(int(bgr & 0xff), int((bgr >> 8) & 0xff), int((bgr >> 16) & 0xff));
}

// WCAG's contrast ratio of two colours.
double contrast(const QColor &a, const QColor &b)
{
    auto lum = [](const QColor &c) {
        auto ch = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * ch(c.redF()) + 0.7152 * ch(c.greenF()) + 0.0722 * ch(c.blueF());
    };
    const double x = lum(a), y = lum(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(45, 45, 48));
    p.setColor(QPalette::WindowText, QColor(220, 220, 220));
    p.setColor(QPalette::Base, QColor(30, 30, 30));
    p.setColor(QPalette::AlternateBase, QColor(40, 40, 40));
    p.setColor(QPalette::Text, QColor(230, 230, 230));
    p.setColor(QPalette::Button, QColor(50, 50, 50));
    p.setColor(QPalette::ButtonText, QColor(220, 220, 220));
    p.setColor(QPalette::Highlight, QColor(38, 79, 120));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

} // namespace

class TestXmlTab : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void darkPaletteGivesADarkReadableText();
    void lightPaletteAgainAfterADarkOne();
    void noticeShowsWhileTheDocumentHasUnsavedEdits();
    void hintStaysBlueAndReadable();
    void fileDraggedOverTheTextIsTheWindows();
    void largeTextIsShownPlain();
    void findBar_data();
    void findBar();
    void findKeysAndShowInXml();
    void accessibleTextCountsInUtf16_data();
    void accessibleTextCountsInUtf16();

private:
    ControlFixture *f = nullptr;
    QPalette m_appPalette;
    QsciScintilla *text() const { return f->ctrl->findChild<QsciScintilla *>(QStringLiteral("ieXMLText")); }
    QColor paper(int style) const
    {
        return fromScintilla(text()->SendScintilla(QsciScintilla::SCI_STYLEGETBACK, style));
    }
    QColor ink(int style) const { return fromScintilla(text()->SendScintilla(QsciScintilla::SCI_STYLEGETFORE, style)); }
    // Every style of the lexer stands on paper and reads on it.
    void verifyStylesOn(const QColor &expectedPaper) const
    {
        QsciLexer *lexer = text()->lexer();
        QVERIFY(lexer);
        int checked = 0;
        for (int style = 0; style <= QsciScintillaBase::STYLE_MAX; ++style) {
            if (lexer->description(style).isEmpty())
                continue;
            ++checked;
            QCOMPARE(paper(style), expectedPaper);
            QVERIFY2(contrast(ink(style), paper(style)) >= 4.5,
                     qPrintable(QStringLiteral("style %1 (%2): %3 on %4")
                                    .arg(style)
                                    .arg(lexer->description(style), ink(style).name(), paper(style).name())));
        }
        QVERIFY(checked > 10);
        QCOMPARE(paper(QsciScintillaBase::STYLE_DEFAULT), expectedPaper);
    }
    void showXmlTab()
    {
        f->w<QTabWidget>("ctrlTab")->setCurrentIndex(1);
        QTRY_VERIFY(!text()->text().isEmpty());
    }
};

void TestXmlTab::init()
{
    m_appPalette = QApplication::palette();
    f = new ControlFixture({QStringLiteral("nav/main.xml")});
    QVERIFY(f->exposed);
    QVERIFY(f->open(QStringLiteral("main.xml"), 1));
    QVERIFY(text());
}

void TestXmlTab::cleanup()
{
    delete f;
    f = nullptr;
    QApplication::setPalette(m_appPalette);
}

void TestXmlTab::darkPaletteGivesADarkReadableText()
{
    showXmlTab();
    const QPalette dark = darkPalette();
    QApplication::setPalette(dark);
    settle();
    verifyStylesOn(dark.color(QPalette::Base));
    // What is painted: the paper beyond the end of the lines is the palette's Base.
    const QImage shot = text()->viewport()->grab().toImage();
    QCOMPARE(QColor(shot.pixel(shot.width() - 3, shot.height() - 3)), dark.color(QPalette::Base));
    // The line numbers stand on the window colour.
    const QColor margin =
        fromScintilla(text()->SendScintilla(QsciScintilla::SCI_STYLEGETBACK, QsciScintillaBase::STYLE_LINENUMBER));
    QCOMPARE(margin, dark.color(QPalette::Window));
}

void TestXmlTab::lightPaletteAgainAfterADarkOne()
{
    QsciLexer *lexer = text()->lexer();
    QApplication::setPalette(darkPalette());
    settle();
    QPalette light = m_appPalette;
    light.setColor(QPalette::Base, QColor(255, 255, 240));
    QApplication::setPalette(light);
    settle();
    verifyStylesOn(QColor(255, 255, 240));
    // The lexer's own colours come back where they read well.
    int kept = 0;
    for (int style = 0; style <= QsciScintillaBase::STYLE_MAX; ++style)
        if (!lexer->description(style).isEmpty() &&
            contrast(lexer->defaultColor(style), light.color(QPalette::Base)) >= 4.5) {
            QCOMPARE(ink(style), lexer->defaultColor(style));
            ++kept;
        }
    QVERIFY(kept > 5);
}

void TestXmlTab::noticeShowsWhileTheDocumentHasUnsavedEdits()
{
    auto *notice = f->w<QLabel>("lblXmlStale");
    QVERIFY(notice);
    showXmlTab();
    QVERIFY(!notice->isVisible());
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    f->session()->commitEdit(0, QStringLiteral("Rotor"));
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), QStringLiteral("Shows the file as last saved; the document has unsaved edits."));
    // Above the text, which starts below it.
    QVERIFY(notice->geometry().bottom() < text()->geometry().top());
    QCOMPARE(notice->y(), 0);
    QVERIFY(f->ctrl->SaveProfile());
    QVERIFY(!notice->isVisible());
    QCOMPARE(text()->geometry().top(), 0);

    f->session()->commitEdit(0, QStringLiteral("Axle"));
    QVERIFY(notice->isVisible());
    f->session()->undoStack()->undo(); // back to what the file holds
    QVERIFY(!notice->isVisible());
    f->session()->undoStack()->redo();
    QVERIFY(notice->isVisible());
    QVERIFY(f->ctrl->LoadProfile(f->path(QStringLiteral("main.xml"))));
    settle();
    QVERIFY(!notice->isVisible());
}

void TestXmlTab::hintStaysBlueAndReadable()
{
    auto *hint = f->w<QLabel>("lblSelectWhat");
    auto ink = [&] { return hint->palette().color(QPalette::WindowText); };
    auto paper = [&] { return hint->parentWidget()->palette().color(QPalette::Window); };
    QPalette light = m_appPalette;
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    QApplication::setPalette(light);
    settle();
    QCOMPARE(ink(), QColor(0, 0, 255));

    QApplication::setPalette(darkPalette());
    settle();
    QCOMPARE(paper(), darkPalette().color(QPalette::Window));
    QVERIFY2(contrast(ink(), paper()) >= 4.5, qPrintable(ink().name()));
    QCOMPARE(ink().hslHue(), 240);

    QApplication::setPalette(light);
    settle();
    QCOMPARE(ink(), QColor(0, 0, 255));
}

// The window opens a dropped file; the text on show takes no drop that would keep it from the
// window (a drag goes to the nearest widget under it that takes drops).
void TestXmlTab::fileDraggedOverTheTextIsTheWindows()
{
    showXmlTab();
    QWidget *view = text()->parentWidget();
    QList<QWidget *> widgets = view->findChildren<QWidget *>();
    widgets << view;
    for (QWidget *w : widgets)
        QVERIFY2(!w->acceptDrops(), qPrintable(w->metaObject()->className() + QStringLiteral(" ") + w->objectName()));
}

// A text of 32 MiB is shown without styles or lexer; a small one after it has both again.
void TestXmlTab::largeTextIsShownPlain()
{
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small.xml")), large = dir.filePath(QStringLiteral("large.xml"));
    QByteArray text = "<a>\n";
    while (text.size() < (32 << 20))
        text += "  <b>a line of text in an element of its own, for lines</b>\n";
    for (const auto &[path, bytes] : {std::pair{small, QByteArray("<a><b/></a>\n")}, std::pair{large, text + "</a>\n"}}) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    }
    XmlSourceView view;
    view.resize(400, 300);
    view.show();
    auto *sci = view.findChild<QsciScintilla *>(QStringLiteral("ieXMLText"));
    for (const auto &[path, plain] : {std::pair{small, false}, std::pair{large, true}, std::pair{small, false}}) {
        view.Navigate(path);
        QTRY_VERIFY(!view.isStale());
        const long options = sci->SendScintilla(QsciScintilla::SCI_GETDOCUMENTOPTIONS);
        QCOMPARE(bool(options & QsciScintilla::SC_DOCUMENTOPTION_STYLES_NONE), plain);
        QCOMPARE(sci->SendScintilla(QsciScintilla::SCI_GETLEXER) == QsciScintilla::SCLEX_XML, !plain);
    }
}

void TestXmlTab::findBar_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("switches"); // c: match case, w: whole word, r: expression, n: no wrap
    QTest::addColumn<int>("from"); // caret position before the search
    QTest::addColumn<bool>("forward");
    QTest::addColumn<QString>("found"); // "line:index" of the match selected, "" for none
    QTest::newRow("next, any case") << "abc" << "" << 0 << true << "0:11";
    QTest::newRow("match case") << "abc" << "c" << 0 << true << "0:15";
    QTest::newRow("whole word") << "abc" << "w" << 16 << true << "1:6";
    QTest::newRow("expression") << "ab+cd" << "r" << 0 << true << "0:19";
    QTest::newRow("previous") << "abc" << "" << 18 << false << "0:15";
    QTest::newRow("wraps at the end") << "id=" << "" << 30 << true << "0:3";
    QTest::newRow("no wrap: none") << "id=" << "n" << 30 << true << "";
    QTest::newRow("previous wraps") << "abc" << "c" << 2 << false << "1:6";
    QTest::newRow("not there") << "zzz" << "" << 0 << true << "";
    QTest::newRow("empty text") << "" << "" << 0 << true << "";
}

void TestXmlTab::findBar()
{
    QFETCH(QString, search);
    QFETCH(QString, switches);
    QFETCH(int, from);
    QFETCH(bool, forward);
    QFETCH(QString, found);
    QsciScintilla editor;
    editor.setText(QStringLiteral("<a id=\"x1\">Abc abc abcd abbcd</a>\n<b r=\"abc\"/>\n"));
    FindBar bar(&editor);
    bar.searchText()->setText(search);
    const auto check = [&](const char *name, QChar c) { bar.findChild<QCheckBox *>(name)->setChecked(switches.contains(c)); };
    check("chkFindCase", 'c');
    check("chkFindWord", 'w');
    check("chkFindRegex", 'r');
    bar.findChild<QCheckBox *>("chkFindWrap")->setChecked(!switches.contains('n'));
    editor.SendScintilla(QsciScintilla::SCI_GOTOPOS, static_cast<unsigned long>(from));
    const bool ok = bar.find(forward);
    int line = -1, index = -1, lineTo = -1, indexTo = -1;
    editor.getSelection(&line, &index, &lineTo, &indexTo);
    QCOMPARE(ok ? QStringLiteral("%1:%2").arg(line).arg(index) : QString(), found);
    QCOMPARE(bar.findChild<QLabel *>("lblFindResult")->text().isEmpty(), ok || search.isEmpty());
}

void TestXmlTab::findKeysAndShowInXml()
{
    showXmlTab();
    QsciScintilla *t = text();
    t->setFocus();
    auto *bar = f->ctrl->findChild<FindBar *>(QStringLiteral("barFind"));
    QVERIFY(bar && !bar->isVisible());
    QTest::keyClick(t, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar->isVisible());
    QCOMPARE(t->window()->focusWidget(), bar->searchText());
    QTest::keyClicks(bar->searchText(), QStringLiteral("product"));
    QTest::keyClick(bar->searchText(), Qt::Key_Return);
    QCOMPARE(t->selectedText(), QStringLiteral("product"));
    int line = 0, index = 0, firstLine = 0;
    t->getCursorPosition(&firstLine, &index);
    QTest::keyClick(bar->searchText(), Qt::Key_F3);
    t->getCursorPosition(&line, &index);
    QVERIFY(line > firstLine);
    QTest::keyClick(bar->searchText(), Qt::Key_Escape);
    QVERIFY(!bar->isVisible());
    QCOMPARE(t->window()->focusWidget(), t);
    QTest::keyClick(t, Qt::Key_F3, Qt::ShiftModifier); // the search goes on without the bar
    t->getCursorPosition(&line, &index);
    QCOMPARE(line, firstLine);
    const long eightDigits = t->SendScintilla(QsciScintilla::SCI_TEXTWIDTH, QsciScintilla::STYLE_LINENUMBER, "00000000");
    QVERIFY(eightDigits > 0 && t->marginWidth(0) >= eightDigits);

    // The instance on show, from the reference row's menu: its start tag selected in the text.
    f->w<QTabWidget>("ctrlTab")->setCurrentIndex(0);
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    auto *menuShow = f->ctrl->findChild<QAction *>(QStringLiteral("mnuShowInXml"));
    QVERIFY(menuShow);
    menuShow->trigger();
    QCOMPARE(f->w<QTabWidget>("ctrlTab")->currentIndex(), 1);
    QTRY_VERIFY(t->selectedText().startsWith(QLatin1Char('<')));
    QVERIFY2(t->selectedText().endsWith(QLatin1Char('>')), qPrintable(t->selectedText()));
    QVERIFY(t->selectedText().contains(f->session()->shownInstance().attribute(0).text()));
}


void TestXmlTab::accessibleTextCountsInUtf16_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("ascii lines") << QStringLiteral("<a>\n  <b/>\n</a>\n");
    QTest::newRow("no final line end") << QStringLiteral("<a>\n</a>");
    QTest::newRow("two- and three-byte characters") << QStringLiteral("<a n=\"\u00e9t\u00e9\">\n\u20ac\u4e2d\n</a>\n");
    QTest::newRow("surrogate pairs") << QStringLiteral("<a>\U0001D11E\n\U0001F600x\U0001F600</a>\n");
    QTest::newRow("crlf line ends") << QStringLiteral("<a>\r\n\u00e9\r\n</a>");
}

// What assistive technology reads of the text is told in UTF-16 offsets, as QString counts
// them, whatever Scintilla's bytes.
void TestXmlTab::accessibleTextCountsInUtf16()
{
    QFETCH(QString, text);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("text.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size());
    file.close();
    XmlSourceView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.Navigate(path);
    QTRY_VERIFY(!view.isStale());
    QsciScintilla *sci = view.textEditor();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(sci);
    QVERIFY(iface && iface->textInterface());
    QAccessibleTextInterface *t = iface->textInterface();
    QCOMPARE(t->characterCount(), text.size());
    for (int at = 0; at <= text.size(); ++at) {
        if (at > 0 && text.at(at - 1).isHighSurrogate())
            continue; // inside a character
        t->setCursorPosition(at);
        QCOMPARE(t->cursorPosition(), at);
        QCOMPARE(t->text(0, at), text.left(at));
        if (at == text.size())
            continue;
        int start = -1, end = -1;
        const QString line = t->textAtOffset(at, QAccessible::LineBoundary, &start, &end);
        const qsizetype lineStart = at == 0 ? 0 : text.lastIndexOf(QLatin1Char('\n'), at - 1) + 1;
        const qsizetype next = text.indexOf(QLatin1Char('\n'), at);
        const qsizetype lineEnd = next < 0 ? text.size() : next + 1;
        QCOMPARE(start, int(lineStart));
        QCOMPARE(end, int(lineEnd));
        QCOMPARE(line, text.mid(start, end - start));
        const QString after = t->textAfterOffset(at, QAccessible::LineBoundary, &start, &end);
        QCOMPARE(after, lineEnd < text.size() ? text.mid(start, end - start) : QString());
        QCOMPARE(start, lineEnd < text.size() ? int(lineEnd) : -1);
    }
}

QTEST_MAIN(TestXmlTab)
#include "tst_xmltab.moc"
