// A million instances: each figure is printed as a ratio to a baseline measured in the same
// run on the same file (a bare pugixml parse, or pugixml's save of the same document).
//
//   bench_scale [FILE]          FILE: a document to measure (a copy is used); generated
//                               (1M instances, about 200 MB) when not given.
//   bench_scale --size N        every figure for a generated document of N instances
//                               (4500000: about 900 MB), after the open figures (peak and
//                               open ratios) for 1M instances, so that both sizes show in one run.
//   bench_scale --generate OUT N   writes a document of N instances to OUT.
//
// Besides the open, the "XML" tab, the view switch, the save and the jump: browsing the AIM
// view (the longest time the window does not answer), the picker opened on the file,
// "Referenced by" searching the other files of the folder (the large one among them), and
// Check References and Compare of the file shown.
//
// Every measurement runs in a child process of its own, so that peak memory belongs to it.
// The control is reached only by name and through its children's object names, so the same
// source measures older builds of the library too.

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QTreeView>

#include <Qsci/qsciscintilla.h>

#include "benchsupport.h"
#include "api/quillon.h"
#include "document/xmldocument.h"
#include "picker/dlgref.h"
#include "picker/instancelistmodel.h"
#include "widgets/xmlsourceview.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <functional>

namespace {

using bench::peakKiB;
using bench::resetPeak;
using bench::rssKiB;

// The document shape of our files: ARM entities, their mapping, n instances that refer to
// each other, and one reference into another file (to its instance farId, by default the
// middle one of n).
void generate(const QString &path, int n, const QString &other, int farId = 0)
{
    bench::writeFile(path, [&](QByteArray &b, const std::function<void()> &flush) {
        b += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uos>\n  <header>\n    <file_name>bench</file_name>\n  "
             "</header>\n";
        b += "  <arm>\n";
        for (int i = 0; i < n / 100; ++i) {
            const QByteArray id = QByteArray::number(i + 1);
            b += "    <PART>\n      <PART_NUMBER>\n        <product ref=\"id" + id +
                 "\"/>\n      </PART_NUMBER>\n"
                 "      <PART_NAME>\n        <product ref=\"id" +
                 id + "\"/>\n        <name/>\n      </PART_NAME>\n    </PART>\n";
        }
        b += "  </arm>\n  <mapping>\n";
        b += "    <far>\n      <product href=\"" + other.toUtf8() + "#id" +
             QByteArray::number(farId > 0 ? farId : n / 2) + "\"/>\n    </far>\n";
        for (int i = 0; i < n / 10; ++i) {
            const QByteArray id = QByteArray::number(i + 1);
            b += "    <part_to_product>\n      <product ref=\"id" + id + "\"/>\n    </part_to_product>\n";
            if (b.size() > (1 << 20))
                flush();
        }
        b += "  </mapping>\n  <aim>\n    <aim-instances>\n";
        for (int i = 1; i <= n; ++i) {
            const QByteArray id = QByteArray::number(i);
            b += "      <product id=\"id" + id + "\">\n        <name>Part " + id +
                 "</name>\n"
                 "        <description>Generated part number " +
                 id +
                 "</description>\n"
                 "        <of_shape>\n          <shape ref=\"id" +
                 QByteArray::number(i % n + 1) +
                 "\"/>\n        </of_shape>\n"
                 "      </product>\n";
            if (b.size() > (1 << 20))
                flush();
        }
        b += "    </aim-instances>\n  </aim>\n</uos>\n";
    });
}

// Watches the GUI thread: the longest time between two ticks of a 10 ms timer.
class GapWatch {
public:
    GapWatch()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    double longestMs()
    {
        const qint64 now = m_clock.nsecsElapsed();
        return std::max(m_longest, now - m_last) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

void waitUntil(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// What act takes until done holds, in milliseconds, and the longest time the window did not
// answer meanwhile.
struct Timed {
    double ms = 0, gap = 0;
};
Timed timed(const std::function<void()> &act, const std::function<bool()> &done)
{
    GapWatch gaps;
    QElapsedTimer t;
    t.start();
    act();
    waitUntil(done);
    return {t.nsecsElapsed() / 1e6, gaps.longestMs()};
}

struct Editor {
    QWidget *ctrl = nullptr;
    QTreeView *tree() const { return ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")); }
    QAbstractItemModel *model() const { return tree()->model(); }
    bool load(const QString &path) const
    {
        bool ok = false;
        QMetaObject::invokeMethod(ctrl, "LoadProfile", Q_RETURN_ARG(bool, ok), Q_ARG(QString, path));
        return ok;
    }
    // Loads path in the view mode given, until the tree shows.
    void open(const QString &path, int mode) const
    {
        ctrl->setProperty("ViewMode", mode);
        if (!load(path))
            qFatal("load failed: %s", qPrintable(ctrl->property("LastError").toString()));
        waitUntil([&] { return model()->rowCount() > 0; });
    }
    // The top-level row of the tree named name.
    QModelIndex topRow(const QString &name) const
    {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (model()->index(r, 0).data().toString() == name)
                return model()->index(r, 0);
        return {};
    }
};

Editor makeEditor(QWidget &host)
{
    Editor e{QuillonCreateControl("Quillon.CtrlXMLEditor", &host)};
    host.resize(1000, 800);
    e.ctrl->resize(1000, 800);
    host.show();
    return e;
}

double parseMs(const QString &path)
{
    QElapsedTimer t;
    t.start();
    pugi::xml_document doc;
    doc.load_file(path.toLocal8Bit().constData());
    return t.nsecsElapsed() / 1e6;
}

void print(const char *what, double ms, double baseMs, const char *base, const QString &extra = QString())
{
    std::printf("%-44s %9.1f ms  %5.2fx %s%s\n", what, ms, ms / baseMs, base, qPrintable(extra));
    std::fflush(stdout);
}

// Open until the tree shows, per view; peak memory as a multiple of the file size.
int runOpen(const QString &path, int mode)
{
    const double parse = parseMs(path);
    const double size = QFileInfo(path).size();
    QWidget host;
    Editor e = makeEditor(host);
    e.ctrl->setProperty("ViewMode", mode);
    resetPeak(); // the baseline parse above is not the editor's
    const long before = peakKiB();
    GapWatch gaps;
    QElapsedTimer t;
    t.start();
    if (!e.load(path))
        qFatal("load failed: %s", qPrintable(e.ctrl->property("LastError").toString()));
    waitUntil([&] { return e.model()->rowCount() > 0; });
    const double ms = t.nsecsElapsed() / 1e6;
    const char *names[] = {"open until the tree shows: ARM", "open until the tree shows: Mapping",
                           "open until the tree shows: AIM"};
    print(names[mode], ms, parse, "parse",
          QStringLiteral("   peak %1x file (%2 MiB before)   longest GUI gap %3 ms")
              .arg(peakKiB() * 1024.0 / size, 0, 'f', 2)
              .arg(before / 1024)
              .arg(gaps.longestMs(), 0, 'f', 0));
    return 0;
}

// The "XML" tab shown for the file; the view switch of an unedited document; a save after one
// edit.
int runTabSwitchSave(const QString &path)
{
    const double parse = parseMs(path);
    // Writes to this disk vary a lot from one moment to the next: saves are timed kSaves times
    // and the best time counts, for pugixml as for the editor.
    constexpr int kSaves = 3;
    double pugiSave = 1e300, pugiSaveSynced = 1e300;
    {
        pugi::xml_document doc;
        doc.load_file(path.toLocal8Bit().constData());
        for (int i = 0; i < kSaves; ++i) {
            QElapsedTimer t;
            t.start();
            doc.save_file((path + QStringLiteral(".pugi")).toLocal8Bit().constData(), "", pugi::format_raw);
            pugiSave = std::min(pugiSave, t.nsecsElapsed() / 1e6);
            // The same with the file flushed to the disk, as the editor's save does before it
            // replaces the old file.
            const int fd = ::open((path + QStringLiteral(".pugi")).toLocal8Bit().constData(), O_RDONLY);
            if (fd >= 0) {
                ::fsync(fd);
                ::close(fd);
            }
            pugiSaveSynced = std::min(pugiSaveSynced, t.nsecsElapsed() / 1e6);
            QFile::remove(path + QStringLiteral(".pugi"));
            ::sync(); // its dirty pages are not to slow down the saves measured later
        }
    }
    const double size = QFileInfo(path).size();
    QWidget host;
    Editor e = makeEditor(host);
    e.open(path, 2);
    // The index of ids fills while the window is idle after a load (0.06 times the file): it
    // is given its time first, so that the tab's figure is the tab's own.
    {
        QEventLoop idle;
        QTimer::singleShot(5000, &idle, &QEventLoop::quit);
        idle.exec();
    }

    {
        const long rss = rssKiB();
        resetPeak();
        GapWatch gaps;
        QElapsedTimer t;
        t.start();
        auto *tab = e.ctrl->findChild<QTabWidget *>(QStringLiteral("ctrlTab"));
        tab->setCurrentIndex(1);
        auto *xml = e.ctrl->findChild<quillon::XmlSourceView *>(QStringLiteral("ieXML"));
        waitUntil([&] { return !xml->isStale(); });
        const double ms = t.nsecsElapsed() / 1e6;
        print("\"XML\" tab shown", ms, parse, "parse",
              QStringLiteral("   +%1x file, peak %2x file   longest GUI gap %3 ms")
                  .arg((rssKiB() - rss) * 1024.0 / size, 0, 'f', 2)
                  .arg(peakKiB() * 1024.0 / size, 0, 'f', 2)
                  .arg(gaps.longestMs(), 0, 'f', 0));
        // Ctrl+End and Ctrl+Home in the text, each until the text is painted where it went.
        QWidget *text = xml->textEditor();
        text->setFocus();
        for (const Qt::Key key : {Qt::Key_End, Qt::Key_Home}) {
            QElapsedTimer k;
            k.start();
            QTest::keyClick(text, key, Qt::ControlModifier);
            xml->textEditor()->viewport()->repaint();
            print(key == Qt::Key_End ? "  Ctrl+End in the text, painted" : "  Ctrl+Home in the text, painted",
                  k.nsecsElapsed() / 1e6, parse, "parse");
        }
        tab->setCurrentIndex(0);
        QCoreApplication::processEvents();
    }
    {
        GapWatch gaps;
        QElapsedTimer t;
        t.start();
        e.ctrl->setProperty("ViewMode", 1);
        QCoreApplication::processEvents();
        waitUntil([&] { return e.model()->rowCount() > 0; });
        print("view switch, document unedited", t.nsecsElapsed() / 1e6, parse, "parse",
              QStringLiteral("   longest GUI gap %1 ms").arg(gaps.longestMs(), 0, 'f', 0));
    }
    {
        // One edit as a user makes it: the first instance in the AIM view, a value typed over
        // its first row, Enter; then Save.
        e.ctrl->setProperty("ViewMode", 2);
        QCoreApplication::processEvents();
        waitUntil([&] { return e.model()->rowCount() > 0; });
        QAbstractItemModel *m = e.model();
        const QModelIndex aim = e.topRow(QStringLiteral("aim"));
        const QModelIndex instances = m->index(0, 0, aim);
        e.tree()->expand(aim);
        e.tree()->expand(instances);
        waitUntil([&] { return m->rowCount(instances) > 0; }); // the rows may come in steps
        emit e.tree()->clicked(m->index(0, 0, instances));
        QCoreApplication::processEvents();
        auto *list = e.ctrl->findChild<QAbstractItemView *>(QStringLiteral("ctrlProperties"));
        double ms = 1e300, gap = 0;
        for (int i = 0; i < kSaves; ++i) {
            list->setFocus();
            list->setCurrentIndex(list->model()->index(0, 0));
            QTest::keyClick(list, Qt::Key(Qt::Key_X + i)); // a new value each time
            QTest::keyClick(e.ctrl->findChild<QWidget *>(QStringLiteral("txtEdit")), Qt::Key_Return);
            QCoreApplication::processEvents();
            ::sync();
            GapWatch gaps;
            QElapsedTimer t;
            t.start();
            bool ok = false;
            QMetaObject::invokeMethod(e.ctrl, "SaveProfile", Q_RETURN_ARG(bool, ok));
            ms = std::min(ms, t.nsecsElapsed() / 1e6);
            gap = std::max(gap, gaps.longestMs());
        }
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const bool edited = f.readAll().contains(QByteArray("<name>") + char('x' + kSaves - 1) + "</name>");
        print("save after one edit (best of 3)", ms, pugiSave, "pugixml save_file (format_raw)",
              QStringLiteral("   %1x that save and fsync   longest GUI gap %2 ms")
                      .arg(ms / pugiSaveSynced, 0, 'f', 2)
                      .arg(gap, 0, 'f', 0) +
                  (edited ? QString() : QStringLiteral("   (the edit did not reach the file!)")));
    }
    return 0;
}

// A jump from a small document into the large one (to its last instance), until the target's
// rows show.
int runJump(const QString &from, const QString &target)
{
    const double parse = parseMs(target);
    QWidget host;
    Editor e = makeEditor(host);
    e.open(from, 1);
    QAbstractItemModel *m = e.model();
    const QModelIndex mapping = e.topRow(QStringLiteral("mapping"));
    const QModelIndex far = m->index(0, 0, mapping);
    const QModelIndex node = m->index(0, 0, far);
    e.tree()->expand(mapping);
    e.tree()->expand(far);
    auto *entity = e.ctrl->findChild<QLabel *>(QStringLiteral("lblEntity"));
    const Timed jump = timed([&] { emit e.tree()->clicked(node); },
                             [&] { return entity->text().startsWith(QLatin1String("product")); });
    print("jump into the large file until its rows show", jump.ms, parse, "its parse",
          QStringLiteral("   longest GUI gap %1 ms").arg(jump.gap, 0, 'f', 0));
    return 0;
}

// "Referenced by" of an instance of the small document, then "Search other files in this
// folder" checked: the other files (the large one among them) are read. The time until their
// referrers are in, and the longest time the window did not answer meanwhile.
int runFolder(const QString &from, const QString &target)
{
    const double parse = parseMs(target);
    QWidget host;
    Editor e = makeEditor(host);
    e.open(from, 2);
    QAbstractItemModel *m = e.model();
    const QModelIndex aim = e.topRow(QStringLiteral("aim"));
    const QModelIndex instances = m->index(0, 0, aim);
    e.tree()->expand(aim);
    e.tree()->expand(instances);
    waitUntil([&] { return m->rowCount(instances) > 0; });
    emit e.tree()->clicked(m->index(0, 0, instances));
    auto *entity = e.ctrl->findChild<QLabel *>(QStringLiteral("lblEntity"));
    waitUntil([&] { return entity->text().startsWith(QLatin1String("product")); });
    auto *tabs = e.ctrl->findChild<QTabWidget *>(QStringLiteral("ctrlTab"));
    tabs->setCurrentWidget(tabs->findChild<QWidget *>(QStringLiteral("tabReferencedBy")));
    auto *list = e.ctrl->findChild<QAbstractItemView *>(QStringLiteral("lstReferencedBy"));
    QAbstractItemModel *model = list->model();
    waitUntil([&] { return model->rowCount() > 0; });
    const Timed read = timed([&] { e.ctrl->findChild<QCheckBox *>(QStringLiteral("chkOtherFiles"))->click(); },
                             // Older builds read at once.
                             [&] { return !model->property("readingOtherFiles").toBool(); });
    print("Referenced by, other files of the folder read", read.ms, parse, "the large file's parse",
          QStringLiteral("   %1 rows   longest GUI gap %2 ms").arg(model->rowCount()).arg(read.gap, 0, 'f', 0));
    return 0;
}

// Check References of the large file shown by the control, then Compare with a copy of it: the
// time each takes, and the longest time the window did not answer meanwhile.
int runCheck(const QString &path)
{
    const double parse = parseMs(path);
    QWidget host;
    Editor e = makeEditor(host);
    e.open(path, 2);
    int findings = -1;
    const Timed check =
        timed([&] { QMetaObject::invokeMethod(e.ctrl, "CheckReferences", Q_RETURN_ARG(int, findings)); },
              [] { return true; });
    print("Check References of the file shown", check.ms, parse, "parse",
          QStringLiteral("   %1 findings   longest GUI gap %2 ms").arg(findings).arg(check.gap, 0, 'f', 0));
    // Compare with a copy of the file: read, then compared instance by instance.
    const QString copy = path + QStringLiteral(".old.xml");
    QFile::remove(copy);
    if (!QFile::copy(path, copy))
        qFatal("cannot copy %s", qPrintable(path));
    bool compared = false;
    const Timed compare = timed(
        [&] { QMetaObject::invokeMethod(e.ctrl, "CompareWith", Q_RETURN_ARG(bool, compared), Q_ARG(QString, copy)); },
        [] { return true; });
    QFile::remove(copy);
    print("Compare with a copy of the file shown", compare.ms, parse, "parse",
          QStringLiteral("   %1   longest GUI gap %2 ms")
              .arg(compared ? "compared" : "failed")
              .arg(compare.gap, 0, 'f', 0));
    return 0;
}

// Browsing the AIM view of the large file: the million instances unfolded, the list scrolled
// to its end and back, the last instance chosen; the longest time the window did not answer.
int runBrowse(const QString &path)
{
    const double parse = parseMs(path);
    QWidget host;
    Editor e = makeEditor(host);
    e.open(path, 2);
    QAbstractItemModel *m = e.model();
    const QModelIndex aim = e.topRow(QStringLiteral("aim"));
    const QModelIndex instances = m->index(0, 0, aim);
    const long rss = rssKiB();
    resetPeak();
    GapWatch gaps;
    QElapsedTimer t;
    t.start();
    e.tree()->expand(aim);
    e.tree()->expand(instances);
    QCoreApplication::processEvents();
    waitUntil([&] { return m->rowCount(instances) > 0; }); // the rows may come in steps
    QCoreApplication::processEvents();
    e.tree()->scrollToBottom();
    QCoreApplication::processEvents();
    const double unfoldGap = gaps.longestMs();
    const QModelIndex last = m->index(m->rowCount(instances) - 1, 0, instances);
    e.tree()->setCurrentIndex(last);
    emit e.tree()->clicked(last);
    QCoreApplication::processEvents();
    e.tree()->scrollToTop();
    QCoreApplication::processEvents();
    print("browse: all instances unfolded, end, back", t.nsecsElapsed() / 1e6, parse, "parse",
          QStringLiteral("   %1 rows   +%2x file, peak %3x file   longest GUI gap %4 ms (%5 ms before the click)")
              .arg(m->rowCount(instances))
              .arg((rssKiB() - rss) * 1024.0 / QFileInfo(path).size(), 0, 'f', 2)
              .arg(peakKiB() * 1024.0 / QFileInfo(path).size(), 0, 'f', 2)
              .arg(gaps.longestMs(), 0, 'f', 0)
              .arg(unfoldGap, 0, 'f', 0));
    return 0;
}

// The picker ("Select Instance") opened on the large file, until its list shows every
// instance, its own read of the file included; beside it, a document object's load of the same
// file (until its completion), measured just before. Then a new picker opened by the control
// showing the file (Find Instance).
int runPicker(const QString &path)
{
    const double parse = parseMs(path);
    double load = 0;
    {
        QElapsedTimer t;
        t.start();
        quillon::XmlDocument doc;
        if (!doc.load(path))
            qFatal("load failed");
        waitUntil([&] { return doc.readyState() == 4; });
        load = t.nsecsElapsed() / 1e6;
    }
    QWidget host;
    host.show();
    quillon::dlgRef *dlg = nullptr;
    // One use of the picker (opened by open) until its list shows every instance: that time, the
    // time until the dialog shows, the rows and the longest time the window did not answer.
    struct Use {
        double shown = -1, visible = -1, gap = 0;
        int rows = 0;
    };
    auto use = [&](const std::function<void()> &open) {
        Use u;
        GapWatch gaps;
        QElapsedTimer t;
        // Runs in the dialog's modal loop.
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            dlg = qobject_cast<quillon::dlgRef *>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            if (u.visible < 0 && dlg->isVisible())
                u.visible = t.nsecsElapsed() / 1e6;
            u.rows = dlg->instanceModel()->rowCount();
            const QWidget *loading = dlg->findChild<QWidget *>(QStringLiteral("lblLoading")); // none in older builds
            // Every row in (a list of millions gets its rows in steps).
            if (u.rows == 0 || u.rows < dlg->instanceModel()->totalCount() || !dlg->isVisible() ||
                (loading && loading->isVisible()))
                return;
            u.shown = t.nsecsElapsed() / 1e6;
            poll.stop();
            dlg->reject();
        });
        poll.start();
        t.start();
        open();
        if (u.shown < 0)
            qFatal("the picker's list did not show");
        u.gap = gaps.longestMs();
        return u;
    };
    quillon::dlgRef *own = quillon::dlgRef::instance(&host);
    const auto chooseOwn = [&] { own->chooseFrom(path); };
    const Use first = use(chooseOwn);
    print("picker open until its list shows", first.shown, parse, "parse",
          QStringLiteral("   %1 rows; a document's load of the file: %2 ms   shown after %3 ms   longest GUI gap %4 ms")
              .arg(first.rows)
              .arg(load, 0, 'f', 1)
              .arg(first.visible, 0, 'f', 1)
              .arg(first.gap, 0, 'f', 0));
    // The same file, unchanged: the picker keeps the document it read.
    const Use again = use(chooseOwn);
    print("picker open again, file unchanged", again.shown, parse, "parse",
          QStringLiteral("   %1 rows   longest GUI gap %2 ms").arg(again.rows).arg(again.gap, 0, 'f', 0));
    // The file touched by another program: read again, the document and list before dropped.
    QFile touched(path);
    if (!touched.open(QIODevice::ReadWrite) ||
        !touched.setFileTime(QDateTime::currentDateTime().addSecs(1), QFileDevice::FileModificationTime))
        qFatal("cannot touch %s", qPrintable(path));
    touched.close();
    const Use reread = use(chooseOwn);
    print("picker open again, file touched", reread.shown, parse, "parse",
          QStringLiteral("   %1 rows   longest GUI gap %2 ms").arg(reread.rows).arg(reread.gap, 0, 'f', 0));
    // A picker made afresh, with nothing listed.
    delete own;
    {
        // Find Instance of the control showing the file (older builds read the file again).
        QWidget controlHost;
        Editor e = makeEditor(controlHost);
        e.open(path, 0);
        const long rss = rssKiB();
        const Use fromControl = use([&] { QMetaObject::invokeMethod(e.ctrl, "FindInstance"); });
        print("picker open from the control showing it", fromControl.shown, parse, "parse",
              QStringLiteral("   %1 rows   +%2x file   shown after %3 ms   longest GUI gap %4 ms")
                  .arg(fromControl.rows)
                  .arg((rssKiB() - rss) * 1024.0 / QFileInfo(path).size(), 0, 'f', 2)
                  .arg(fromControl.visible, 0, 'f', 1)
                  .arg(fromControl.gap, 0, 'f', 0));
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--open"))
        return runOpen(args[2], args[3].toInt());
    if (args.size() == 3 && args[1] == QLatin1String("--rest"))
        return runTabSwitchSave(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("--generate")) {
        generate(args[2], args[3].toInt(), QFileInfo(args[2]).fileName());
        return 0;
    }
    if (args.size() == 3 && args[1] == QLatin1String("--check"))
        return runCheck(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("--folder"))
        return runFolder(args[2], args[3]);
    if (args.size() == 4 && args[1] == QLatin1String("--jump"))
        return runJump(args[2], args[3]);
    if (args.size() == 3 && args[1] == QLatin1String("--browse"))
        return runBrowse(args[2]);
    if (args.size() == 3 && args[1] == QLatin1String("--picker"))
        return runPicker(args[2]);

    QTemporaryDir dir;
    auto child = [&](const QStringList &a) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QCoreApplication::applicationFilePath(), a);
        p.waitForFinished(-1);
    };
    auto header = [](const QString &path) {
        std::printf("%s: %.1f MiB\n", qPrintable(QFileInfo(path).fileName()), QFileInfo(path).size() / 1048576.0);
        std::fflush(stdout);
    };
    auto opens = [&](const QString &path) {
        for (int mode = 0; mode < 3; ++mode)
            child({QStringLiteral("--open"), path, QString::number(mode)});
    };
    // The measurements edit and save the file: they work on a copy of a file given.
    const QString path = dir.filePath(QStringLiteral("large.xml"));
    int instances = 1000000;
    if (args.size() == 3 && args[1] == QLatin1String("--size")) {
        instances = args[2].toInt();
        if (instances <= 0)
            qFatal("--size takes a number of instances");
        if (instances != 1000000) {
            const QString million = dir.filePath(QStringLiteral("1M.xml"));
            generate(million, 1000000, QStringLiteral("1M.xml"));
            header(million);
            opens(million);
            QFile::remove(million);
        }
        generate(path, instances, QStringLiteral("large.xml"));
    } else if (args.size() > 1) {
        if (!QFile::copy(args[1], path))
            qFatal("cannot copy %s", qPrintable(args[1]));
        instances = 0; // not known: the jump goes to id500
    } else {
        generate(path, instances, QStringLiteral("large.xml"));
    }
    header(path);
    opens(path);
    child({QStringLiteral("--rest"), path});
    child({QStringLiteral("--browse"), path});
    child({QStringLiteral("--picker"), path});
    // The small document refers to the large one by its absolute path, to its last instance
    // (the one a lookup by id reaches last) where the bench made it.
    const QString from = dir.filePath(QStringLiteral("from.xml"));
    generate(from, 1000, QFileInfo(path).absoluteFilePath(), instances);
    child({QStringLiteral("--jump"), from, path});
    child({QStringLiteral("--folder"), from, path});
    child({QStringLiteral("--check"), path});
    return 0;
}
