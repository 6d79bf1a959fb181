#pragma once
// Helpers shared by the tests above the document's layers: a session on copies of test
// documents without a window (SessionHarness), and for the widget tests a shown control
// (ControlFixture), answering message boxes, and clicking tree nodes and rows as a user would.
// The file helpers are testfiles.h's.

#include "testfiles.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

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
