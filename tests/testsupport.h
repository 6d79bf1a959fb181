#pragma once
// Helpers shared by the tests: copying test documents into a scratch folder, a session on
// them without a window (SessionHarness), and for the widget tests a shown control
// (ControlFixture), answering message boxes, and clicking tree nodes and rows as a user would.

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QXmlStreamReader>

#include <functional>

namespace testsupport {

struct Message {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QString informative;
    QStringList buttons; // questions: the buttons' texts, and those of Enter and Escape
    QString enter, escape;
};

// Records every message box that comes up while it lives, and answers it with OK.
class MessageCapture {
public:
    MessageCapture()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    ~MessageCapture() { m_timer.stop(); }

    QList<Message> messages;
    // The button to press where the box has it (questions), else the one of text answerText;
    // other boxes are answered with OK.
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QString answerText;

    QStringList texts() const
    {
        QStringList t;
        for (const Message &m : messages)
            t << m.text;
        return t;
    }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        const auto text = [](const QAbstractButton *b) { return b ? b->text() : QString(); };
        QStringList buttons;
        QAbstractButton *byText = nullptr;
        for (QAbstractButton *b : box->buttons()) {
            buttons << b->text();
            if (!answerText.isEmpty() && b->text() == answerText)
                byText = b;
        }
        messages.append({box->windowTitle(), box->text(), box->icon(), box->informativeText(), buttons,
                         text(box->defaultButton()), text(box->escapeButton())});
        if (QAbstractButton *b = box->button(answer) ? box->button(answer) : byText)
            b->click();
        else
            box->done(QMessageBox::Ok);
    }
    QTimer m_timer;
};

// Copies files from the test data folder into dir (by their file names alone); returns the
// copy of the first.
inline QString copyData(const QTemporaryDir &dir, const QStringList &names,
                        const QString &from = QStringLiteral(TEST_DATA_DIR))
{
    QString first;
    for (const QString &name : names) {
        const QString target = dir.filePath(name.section(QLatin1Char('/'), -1));
        QFile::remove(target);
        QFile::copy(from + QLatin1Char('/') + name, target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        if (first.isEmpty())
            first = target;
    }
    return first;
}

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Bytes read by this process so far (/proc/self/io), -1 where the system does not tell.
inline qint64 bytesRead()
{
    const QByteArray io = readAll(QStringLiteral("/proc/self/io"));
    const qsizetype at = io.indexOf("rchar: ");
    return at < 0 ? -1 : io.mid(at + 7, io.indexOf('\n', at) - at - 7).toLongLong();
}

inline void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

// A document that takes a moment to parse (about 9 MB): for loads that are to be cancelled.
inline void writeSlowDocument(const QString &path)
{
    QByteArray xml = "<uos><aim><aim-instances>";
    for (int i = 0; i < 200000; ++i)
        xml += "<p id=\"i" + QByteArray::number(i) + "\"><name>n</name></p>";
    writeAll(path, xml + "</aim-instances></aim></uos>");
}

// The instances of a document (elements of /uos/*/aim-instances), counted by a reader of its
// own rather than by the library.
inline int countAimInstances(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    QStringList names;
    int n = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            if (names.size() == 3 && names[2] == QLatin1String("aim-instances"))
                ++n;
            names << reader.name().toString();
        } else if (reader.isEndElement()) {
            names.removeLast();
        }
    }
    return n;
}

// Lets queued work (a document's completion) run.
inline void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// The index of the node reached by following captions from the root ("a/b c/d").
inline QModelIndex findNode(const QAbstractItemModel *model, const QString &path)
{
    QModelIndex parent;
    for (const QString &caption : path.split(QLatin1Char('/'))) {
        QModelIndex found;
        for (int r = 0, n = model->rowCount(parent); r < n; ++r) {
            const QModelIndex i = model->index(r, 0, parent);
            if (i.data().toString() == caption) {
                found = i;
                break;
            }
        }
        if (!found.isValid())
            return {};
        parent = found;
    }
    return parent;
}

// Clicks a node of a tree view with the mouse.
inline bool clickNode(QTreeView *tree, const QString &path)
{
    const QModelIndex index = findNode(tree->model(), path);
    if (!index.isValid())
        return false;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        tree->expand(p);
    tree->scrollTo(index);
    const QRect r = tree->visualRect(index);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, r.center());
    return true;
}

// Clicks a row of the property list at a point of the given column.
inline void clickRow(QTreeView *list, int row, int column = 1, Qt::MouseButton button = Qt::LeftButton, int dx = 8)
{
    const QRect r = list->visualRect(list->model()->index(row, 0));
    const int x = list->header()->sectionViewportPosition(column) + dx;
    QTest::mouseClick(list->viewport(), button, {}, QPoint(x, r.center().y()));
}

inline QStringList rowTexts(const QTreeView *list, int column)
{
    QStringList t;
    for (int r = 0; r < list->model()->rowCount(); ++r)
        t << list->model()->index(r, column).data().toString();
    return t;
}

} // namespace testsupport

#include "widgets/ctrlxmleditor.h"
#include "session/editorsession.h"
#include "session/treemodel.h"

#include <QLabel>
#include <QLineEdit>

#include <QMetaEnum>

namespace testsupport {

// The names of the outcomes reported, in order ("FileNotFound", ...).
inline QStringList outcomes(const quillon::EditorSession::Reports &reports)
{
    const QMetaEnum e = QMetaEnum::fromType<quillon::EditorSession::Outcome>();
    QStringList names;
    for (const auto &r : reports)
        names << QLatin1String(e.valueToKey(int(r.outcome)));
    return names;
}

inline QStringList columnTexts(const QAbstractItemModel *model, int column)
{
    QStringList t;
    for (int r = 0; r < model->rowCount(); ++r)
        t << model->index(r, column).data().toString();
    return t;
}

// A session on copies of test documents, without any window. Reports that arrive with the
// completion of a load gather in `late`.
struct SessionHarness {
    QTemporaryDir dir;
    quillon::EditorSession session;
    quillon::EditorSession::Reports late;

    explicit SessionHarness(const QStringList &files)
    {
        copyData(dir, files);
        QObject::connect(&session, &quillon::EditorSession::reported,
                         [this](const quillon::EditorSession::Reports &r) { late += r; });
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    bool open(const QString &name, int mode)
    {
        session.setViewMode(mode);
        const bool ok = session.open(path(name));
        settle();
        return ok;
    }
    quillon::XmlDocument *doc() const { return session.document(); }
    quillon::XmlNode instance(const QString &id) const { return session.document()->findInstance(id); }
    QString shownId() const { return quillon::firstAttributeText(session.shownInstance()); }
    // The tree store's index of the node reached by its captions ("a/b c/d"); 0 when none.
    int node(const QString &nodePath) const
    {
        return session.treeModel()->nodeIndex(findNode(session.treeModel(), nodePath));
    }
    // The node of instance `id` under aim/aim-instances (AIM view).
    int instanceNode(const QString &id) const
    {
        const quillon::TreeStore &store = session.treeModel()->store();
        const int parent = node(QStringLiteral("aim/aim-instances"));
        for (int i = 0; i < store.childCount(parent); ++i) {
            const int n = store.child(parent, i);
            if (store.tag(n) == QStringLiteral("[@id=\"%1\"]").arg(id))
                return n;
        }
        return 0;
    }
    quillon::EditorSession::Reports select(const QString &nodePath)
    {
        const auto r = session.selectNode(node(nodePath));
        settle();
        return r;
    }
    int row(const QString &caption) const { return int(rows(0).indexOf(caption)); }
    QStringList rows(int column) const { return columnTexts(session.rows(), column); }
    bool isLink(int row) const { return session.rows()->row(row).isReference(); }
    quillon::EditorSession::Reports follow(const QString &caption)
    {
        const auto r = session.followRow(row(caption));
        settle();
        return r;
    }
    quillon::EditorSession::Reports back()
    {
        const auto r = session.back();
        settle();
        return r;
    }
};

// A shown control on copies of test documents, for the tests of what is on screen.
struct ControlFixture {
    QTemporaryDir dir;
    quillon::CtrlXMLEditor *ctrl = nullptr;
    bool exposed = false;

    explicit ControlFixture(const QStringList &files, QSize size = {900, 700})
    {
        copyData(dir, files);
        ctrl = new quillon::CtrlXMLEditor;
        ctrl->resize(size);
        ctrl->show();
        exposed = QTest::qWaitForWindowExposed(ctrl);
    }
    ~ControlFixture() { delete ctrl; }

    QString path(const QString &name) const { return dir.filePath(name); }
    quillon::EditorSession *session() const { return ctrl->session(); }
    template <class W = QWidget> W *w(const char *name) const { return ctrl->findChild<W *>(QLatin1String(name)); }
    QTreeView *list() const { return w<QTreeView>("ctrlProperties"); }
    QTreeView *tree() const { return w<QTreeView>("ctrlTree"); }
    QLineEdit *edit() const { return w<QLineEdit>("txtEdit"); }
    QString entity() const { return w<QLabel>("lblEntity")->text(); }
    int px(int twips) const { return qRound(twips * ctrl->logicalDpiX() / 1440.0); }
    int twips(int px) const { return qRound(px * 1440.0 / ctrl->logicalDpiX()); }
    bool open(const QString &name, int mode)
    {
        ctrl->setProperty("ViewMode", mode);
        const bool ok = ctrl->LoadProfile(path(name));
        settle();
        return ok;
    }
    bool click(const QString &node)
    {
        const bool ok = clickNode(tree(), node);
        settle();
        return ok;
    }
    void follow(const QString &caption)
    {
        clickRow(list(), int(rowTexts(list(), 0).indexOf(caption)));
        settle();
    }
};

} // namespace testsupport
