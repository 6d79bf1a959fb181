// Opening large documents: generates documents of 10k, 100k and 1M instances and prints, per
// view, the time from LoadProfile until the tree is built, the peak memory of that run, and
// the bare pugixml parse time of the same file, so the ratio shows. Also prints instance
// lookups by id on the largest document and the time from clicking an href node until the
// target's properties are shown, for a 100k-instance target file.
//
// Usage: bench_open [max-instances]   (default 1000000). Each measurement runs in a child
// process of its own so that peak memory belongs to that measurement alone.

#include "ctrlxmleditor.h"
#include "treemodel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>

#include <pugixml.hpp>
#include <sys/resource.h>

#include <cstdio>
#include <random>

using namespace quillon;

namespace {

long peakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// A document in the usual shape: ARM entities, their mapping, and n AIM instances that refer
// to each other and, through href, to a second file.
void generate(const QString &path, int n, const QString &other)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray b;
    b.reserve(1 << 20);
    auto flush = [&] {
        f.write(b);
        b.clear();
    };
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
    for (int i = 0; i < n / 10; ++i) {
        const QByteArray id = QByteArray::number(i + 1);
        b += "    <part_to_product>\n      <product ref=\"id" + id + "\"/>\n    </part_to_product>\n";
        if (b.size() > (1 << 20))
            flush();
    }
    b +=
        "    <far>\n      <product href=\"" + other.toUtf8() + "#id" + QByteArray::number(n / 2) + "\"/>\n    </far>\n";
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
    flush();
}

void waitForTree(CtrlXMLEditor &ctrl)
{
    while (ctrl.treeModel()->rowCount() == 0)
        QCoreApplication::processEvents();
}

// One measurement in this process: open `path` in `mode`.
int runOpen(const QString &path, int mode)
{
    QElapsedTimer t;
    t.start();
    {
        pugi::xml_document doc;
        doc.load_file(path.toLocal8Bit().constData());
    }
    const double parseMs = t.nsecsElapsed() / 1e6;

    CtrlXMLEditor ctrl;
    ctrl.resize(1000, 800);
    ctrl.show();
    ctrl.setProperty("ViewMode", mode);
    t.restart();
    if (!ctrl.LoadProfile(path))
        qFatal("load failed: %s", qPrintable(ctrl.LastError()));
    waitForTree(ctrl);
    const double openMs = t.nsecsElapsed() / 1e6;
    std::printf("open %-8s %-8s %10.1f ms   parse %9.1f ms   ratio %5.2f   peak %8.1f MiB\n",
                qPrintable(QFileInfo(path).baseName()),
                mode == 0   ? "ARM"
                : mode == 1 ? "Mapping"
                            : "AIM",
                openMs, parseMs, openMs / parseMs, peakKiB() / 1024.0);
    if (mode == 2) {
        // The tree stays usable: expand the node holding every instance and scroll to its end.
        auto *tree = ctrl.findChild<QTreeView *>(QStringLiteral("ctrlTree"));
        const QModelIndex aim = ctrl.treeModel()->index(3, 0);
        const QModelIndex instances = ctrl.treeModel()->index(0, 0, aim);
        t.restart();
        tree->expand(aim);
        tree->expand(instances);
        tree->scrollToBottom();
        tree->repaint();
        std::printf("     expand %d instances and scroll to the end: %.1f ms\n", ctrl.treeModel()->rowCount(instances),
                    t.nsecsElapsed() / 1e6);
    }
    return 0;
}

int runLookups(const QString &path, int n)
{
    XmlDocument doc;
    if (!doc.load(path))
        qFatal("load failed");
    QElapsedTimer t;
    t.start();
    doc.findInstance(QStringLiteral("id1"));
    const double buildMs = t.nsecsElapsed() / 1e6;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(1, n);
    const int lookups = 1000000;
    int found = 0;
    t.restart();
    for (int i = 0; i < lookups; ++i)
        found += bool(doc.findInstance(QStringLiteral("id%1").arg(pick(rng))));
    const double s = t.nsecsElapsed() / 1e9;
    std::printf("findInstance on %d instances: index built in %.1f ms, %.0f lookups/s (%d found)\n", n, buildMs,
                lookups / s, found);
    return 0;
}

int runHref(const QString &from, const QString &target)
{
    CtrlXMLEditor ctrl;
    ctrl.resize(1000, 800);
    ctrl.show();
    ctrl.setProperty("ViewMode", 1);
    ctrl.LoadProfile(from);
    waitForTree(ctrl);
    auto *tree = ctrl.findChild<QTreeView *>(QStringLiteral("ctrlTree"));
    const QModelIndex mapping = ctrl.treeModel()->index(2, 0);
    const QModelIndex far = ctrl.treeModel()->index(ctrl.treeModel()->rowCount(mapping) - 1, 0, mapping);
    const QModelIndex node = ctrl.treeModel()->index(0, 0, far);
    tree->expand(mapping);
    tree->expand(far);
    tree->scrollTo(node);
    QElapsedTimer t;
    t.start();
    emit tree->clicked(node);
    auto *entity = ctrl.findChild<QLabel *>(QStringLiteral("lblEntity"));
    while (!entity->text().startsWith(QLatin1String("product")))
        QCoreApplication::processEvents();
    std::printf("href click until the target's properties show (target %s): %.1f ms\n",
                qPrintable(QFileInfo(target).fileName()), t.nsecsElapsed() / 1e6);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--open"))
        return runOpen(args[2], args[3].toInt());
    if (args.size() == 4 && args[1] == QLatin1String("--lookups"))
        return runLookups(args[2], args[3].toInt());
    if (args.size() == 4 && args[1] == QLatin1String("--href"))
        return runHref(args[2], args[3]);

    const int max = args.size() > 1 ? args[1].toInt() : 1000000;
    QTemporaryDir dir;
    auto child = [&](const QStringList &a) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QCoreApplication::applicationFilePath(), a);
        p.waitForFinished(-1);
    };
    for (int n = 10000; n <= max; n *= 10) {
        const QString path = dir.filePath(QStringLiteral("doc%1k.xml").arg(n / 1000));
        generate(path, n, QStringLiteral("target.xml"));
        std::printf("%dk instances: %.1f MiB\n", n / 1000, QFileInfo(path).size() / 1048576.0);
        std::fflush(stdout);
        for (int mode = 0; mode < 3; ++mode)
            child({QStringLiteral("--open"), path, QString::number(mode)});
        if (n * 10 > max)
            child({QStringLiteral("--lookups"), path, QString::number(n)});
        QFile::remove(path);
    }
    // The href jump: a small document pointing into a 100k-instance target.
    const QString target = dir.filePath(QStringLiteral("target.xml"));
    generate(target, 100000, QStringLiteral("target.xml"));
    const QString from = dir.filePath(QStringLiteral("from.xml"));
    generate(from, 1000, QStringLiteral("target.xml"));
    child({QStringLiteral("--href"), from, target});
    return 0;
}
