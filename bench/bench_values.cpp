// Compare two versions and Find by value on a million instances, each figure as a ratio to a
// bare pugixml parse measured in the same run.
//
//   bench_values [DIR [N]]  works in DIR (a scratch folder when not given): writes old.xml and
//                         new.xml, N instances each (a million when not given), that differ in
//                         1,000 instances (a changed name, a changed reference, one removed and
//                         one added in turn), then measures
//     - the comparison as --diff does it: both files read, then compared, against the bare
//       parse of both, and the comparison alone;
//     - the first 1,000 rows of a search in the loaded document (the Find tab's first step),
//       a search through the whole document, and the longest step of a search in the steps the
//       Find tab takes, against the bare parse of one file.

#include "benchsupport.h"
#include "document/xmldocument.h"
#include "refs/documentdiff.h"
#include "refs/documentfind.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

using bench::bestOf3;
using bench::parseMs;

// n instances that refer to the next one; with changed, every (n / 1000)-th instance differs:
// in turn its name, its reference, or it is left out and one of a new id is written instead.
void generate(const QString &path, int n, bool changed)
{
    const int every = n / 1000;
    bench::writeInstances(path, n, [&](QByteArray &b, int i) {
        const int turn = changed && i % every == 0 ? (i / every) % 3 + 1 : 0;
        const QByteArray id = turn == 3 ? "new" + QByteArray::number(i) : "id" + QByteArray::number(i);
        b += "      <product id=\"" + id + "\">\n        <name>Part " + QByteArray::number(i) +
             (turn == 1 ? " rev B" : "") + "</name>\n        <of_shape>\n          <shape ref=\"id" +
             QByteArray::number(turn == 2 ? 1 : i % n + 1) + "\"/>\n        </of_shape>\n      </product>\n";
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bench::Workload work(argc, argv);
    const QString oldPath = work.file("old.xml"), newPath = work.file("new.xml");
    const int n = work.n;
    generate(oldPath, n, false);
    generate(newPath, n, true);
    std::printf("old.xml, new.xml: %.1f MiB each, %d instances, 1,000 of them differ\n",
                QFileInfo(oldPath).size() / 1048576.0, n);
    const double parseOld = parseMs(oldPath), parseNew = parseMs(newPath);
    std::printf("bare pugixml parse: old.xml %.1f ms, new.xml %.1f ms\n", parseOld, parseNew);

    qsizetype changes = 0;
    const double diff = bestOf3([&] {
        quillon::XmlDocument a, b;
        if (!a.loadForReading(oldPath) || !b.loadForReading(newPath))
            qFatal("cannot read the versions");
        changes = quillon::DocumentDiff::compare(a, b).size();
    });
    std::printf("Compare, both read and compared (%lld rows)   %8.1f ms   %.2fx parse of both\n",
                static_cast<long long>(changes), diff, diff / (parseOld + parseNew));
    quillon::XmlDocument a, b;
    if (!a.loadForReading(oldPath) || !b.loadForReading(newPath))
        qFatal("cannot read the versions");
    const double compareOnly = bestOf3([&] { changes = quillon::DocumentDiff::compare(a, b).size(); });
    std::printf("  the comparison alone                        %8.1f ms   %.2fx parse of both\n", compareOnly,
                compareOnly / (parseOld + parseNew));

    QList<quillon::FindRow> rows;
    const double first = bestOf3([&] {
        rows.clear();
        quillon::DocumentFind find(b, {QStringLiteral("part 9"), false, false, false, {}});
        find.next(1000, rows);
    });
    std::printf("Find \"part 9\", the first %lld rows              %8.1f ms   %.2fx parse\n",
                static_cast<long long>(rows.size()), first, first / parseNew);
    const double whole = bestOf3([&] {
        rows.clear();
        quillon::DocumentFind find(b, {QStringLiteral("rev b"), false, true, false, {}});
        while (find.next(1000, rows)) { }
    });
    std::printf("Find \"rev b\" (whole word) to the end (%lld rows)  %8.1f ms   %.2fx parse\n",
                static_cast<long long>(rows.size()), whole, whole / parseNew);
    // The Find tab's steps: the longest one is how long the window stops answering at most.
    for (const quillon::FindOptions &options :
         {quillon::FindOptions{QStringLiteral("part 9"), false, false, false, {}},
          quillon::FindOptions{QStringLiteral("part"), false, false, false, {}},
          quillon::FindOptions{QStringLiteral("rev b"), false, true, false, {}}}) {
        double longest = 0;
        int steps = 0;
        rows.clear();
        quillon::DocumentFind find(b, options);
        for (bool more = true; more; ++steps) {
            QElapsedTimer t;
            t.start();
            QList<quillon::FindRow> found; // a step's rows go to the rows the view holds
            more = find.next(quillon::DocumentFind::ViewStepRows, found, quillon::DocumentFind::ViewStepInstances);
            rows.append(found);
            longest = std::max(longest, bench::ms(t));
        }
        std::printf("  Find \"%s\"%s in the view's steps: %d steps, the longest %8.1f ms   %.3fx parse\n",
                    qPrintable(options.pattern), options.wholeWord ? " (whole word)" : "", steps, longest,
                    longest / parseNew);
    }
    return 0;
}
