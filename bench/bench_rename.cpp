// Rename Id and Delete Instance on a million instances, each figure as a ratio to a bare
// pugixml parse measured in the same run.
//
//   bench_rename [DIR [N]]  works in DIR (a scratch folder when not given), which must hold no
//                         other XML file: writes main.xml, N instances (a million when not
//                         given), 1,000 of which refer to id1 and 1,000 to id2, and other.xml,
//                         N / 10 instances with an href into main.xml each, 1,000 of them to
//                         id1; then measures
//     - renaming id1 (IdRename::plan, then apply: other.xml written, main.xml changed in
//       memory), with the reference index to build as after a load or an edit, and with it
//       built, against the bare parse of both files;
//     - Delete Instance of id2 with its 1,000 references, as the session does it on the
//       instance on show, against the same parse.

#include "benchsupport.h"
#include "refs/idrename.h"
#include "session/editorsession.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUndoStack>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

using bench::ms;
using bench::parseMs;
using bench::writeFile;

// main.xml: instance i refers to the next one, but every (n / 1000)-th refers to id1 and the
// one after it to id2.
void generateMain(const QString &path, int n)
{
    const int every = std::max(1, n / 1000);
    writeFile(path, [&](QByteArray &b, const std::function<void()> &flush) {
        b += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uos>\n  <aim>\n    <aim-instances>\n";
        for (int i = 1; i <= n; ++i) {
            const int target = i % every == 0 ? 1 : i % every == 1 ? 2 : i % n + 1;
            b += "      <product id=\"id" + QByteArray::number(i) + "\">\n        <name>Part " +
                 QByteArray::number(i) + "</name>\n        <of_shape>\n          <shape ref=\"id" +
                 QByteArray::number(target) + "\"/>\n        </of_shape>\n      </product>\n";
            if (b.size() > (1 << 20))
                flush();
        }
        b += "    </aim-instances>\n  </aim>\n</uos>\n";
    });
}

// other.xml: n / 10 instances with an href to main.xml, every 100th to id1.
void generateOther(const QString &path, int n)
{
    writeFile(path, [&](QByteArray &b, const std::function<void()> &flush) {
        b += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uos>\n  <aim>\n    <aim-instances>\n";
        for (int j = 1; j <= n / 10; ++j) {
            const int target = j % 100 == 0 ? 1 : 1000 + j;
            b += "      <usage id=\"u" + QByteArray::number(j) + "\">\n        <of>\n          <product href=\"main.xml#id" +
                 QByteArray::number(target) + "\"/>\n        </of>\n      </usage>\n";
            if (b.size() > (1 << 20))
                flush();
        }
        b += "    </aim-instances>\n  </aim>\n</uos>\n";
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const bench::Workload work(argc, argv);
    const QString mainPath = work.file("main.xml"), otherPath = work.file("other.xml");
    const int n = work.n;
    generateMain(mainPath, n);
    generateOther(otherPath, n);
    std::printf("main.xml: %.1f MiB, %d instances; other.xml: %.1f MiB, %d instances\n",
                QFileInfo(mainPath).size() / 1048576.0, n, QFileInfo(otherPath).size() / 1048576.0, n / 10);
    const double parse = parseMs(mainPath) + parseMs(otherPath);
    std::printf("bare pugixml parse of both: %.1f ms\n", parse);

    quillon::XmlDocument doc;
    if (!doc.load(mainPath))
        qFatal("cannot read main.xml");
    // Each round renames id1 in the document as read and other.xml as written (the change is
    // taken back and other.xml written anew between rounds): with an index to build, as the first
    // question after a load or an edit, and with one built.
    double fresh = 1e18, freshApply = 1e18, built = 1e18;
    qsizetype inDocument = 0, inFolder = 0;
    auto rename = [&](bool indexBuilt, double *applyMs) {
        generateOther(otherPath, n);
        quillon::ReferenceIndex index;
        if (indexBuilt) {
            index.referrers(doc, QStringLiteral("id1"));
            index.referrersInFolder(doc, QStringLiteral("id1"));
        }
        QElapsedTimer t;
        t.start();
        const quillon::IdRenamePlan plan = quillon::IdRename::plan(doc, index, QStringLiteral("id1"), QStringLiteral("renamed"));
        QElapsedTimer a;
        a.start();
        quillon::EditStep step;
        if (const QString why = quillon::IdRename::apply(doc, plan, &step); !why.isEmpty())
            qFatal("rename failed: %s", qPrintable(why));
        const double total = ms(t);
        if (applyMs)
            *applyMs = ms(a);
        inDocument = plan.inDocument.size();
        inFolder = plan.inFolder.size();
        step.undo();
        return total;
    };
    for (int round = 0; round < 3; ++round) {
        double applyMs = 0;
        fresh = std::min(fresh, rename(false, &applyMs));
        freshApply = std::min(freshApply, applyMs);
        built = std::min(built, rename(true, nullptr));
    }
    std::printf("Rename Id (%lld refs in the document, %lld hrefs in other.xml), index to build  %8.1f ms   %.2fx parse "
                "of both\n",
                static_cast<long long>(inDocument), static_cast<long long>(inFolder), fresh, fresh / parse);
    std::printf("  of it, apply (other.xml written, the document changed)    %8.1f ms   %.2fx parse of both\n",
                freshApply, freshApply / parse);
    std::printf("  with the index built                                      %8.1f ms   %.2fx parse of both\n", built,
                built / parse);

    quillon::EditorSession session;
    session.setViewMode(2);
    if (!session.open(mainPath))
        qFatal("cannot open main.xml");
    while (session.isLoading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    double remove = 1e18;
    for (int round = 0; round < 3; ++round) {
        if (!session.showInstance({}, QStringLiteral("id2")).isEmpty())
            qFatal("cannot show id2");
        QElapsedTimer t;
        t.start();
        session.deleteInstance(true);
        remove = std::min(remove, ms(t));
        if (session.undoStack()->count() != 1)
            qFatal("Delete Instance did not delete");
        session.undoStack()->undo();
        session.undoStack()->clear();
    }
    std::printf("Delete Instance id2 with its 1,000 references                %8.1f ms   %.2fx parse of both\n", remove,
                remove / parse);
    return 0;
}
