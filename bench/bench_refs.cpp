// "Referenced by" and Check References on a million instances, each figure as a ratio to a
// bare pugixml parse measured in the same run.
//
//   bench_refs [DIR [N]]  works in DIR (a scratch folder when not given): writes large.xml (a
//                       million instances that refer to each other, 1,000 hrefs into
//                       part.xml) and part.xml (10,000 instances), then measures
//     - the first "Referenced by" query on the loaded document (the index is built),
//     - later queries (1,000 ids, the slowest and the mean) as the list of the tab asks them
//       (ReferenceIndex::referrerList), and the id with 100,001 referrers also with every row
//       made at once (ReferenceIndex::referrers),
//     - Check References of large.xml (which reads part.xml once), against the bare parse of
//       both files.

#include "benchsupport.h"
#include "refs/refcheck.h"
#include "refs/refindex.h"
#include "document/xmldocument.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

using bench::bestOf3;
using bench::ms;
using bench::parseMs;

// n instances; each refers to the next one, every tenth also to the first, and every
// (n / hrefs)-th holds an href into part.xml.
void generateLarge(const QString &path, int n, int hrefs, int partInstances)
{
    const int every = n / hrefs;
    bench::writeInstances(path, n, [&](QByteArray &b, int i) {
        const QByteArray id = QByteArray::number(i);
        b += "      <product id=\"id" + id + "\">\n        <name>Part " + id +
             "</name>\n        <of_shape>\n          <shape ref=\"id" + QByteArray::number(i % n + 1) +
             "\"/>\n        </of_shape>\n";
        if (i % 10 == 0)
            b += "        <family>\n          <product ref=\"id1\"/>\n        </family>\n";
        if (i % every == 0)
            b += "        <made_by>\n          <part href=\"part.xml#p" +
                 QByteArray::number(i / every % partInstances + 1) + "\"/>\n        </made_by>\n";
        b += "      </product>\n";
    });
}

void generatePart(const QString &path, int n)
{
    bench::writeInstances(path, n, [](QByteArray &b, int i) {
        b += "      <part id=\"p" + QByteArray::number(i) + "\">\n        <name>Part " + QByteArray::number(i) +
             "</name>\n      </part>\n";
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bench::Workload work(argc, argv);
    const QString large = work.file("large.xml"), part = work.file("part.xml");
    const int n = work.n, hrefs = 1000, partInstances = 10000;
    generateLarge(large, n, hrefs, partInstances);
    generatePart(part, partInstances);
    std::printf("large.xml: %.1f MiB, %d instances, %d hrefs into part.xml (%d instances)\n",
                QFileInfo(large).size() / 1048576.0, n, hrefs, partInstances);

    const double parseLarge = parseMs(large), parsePart = parseMs(part);
    std::printf("bare pugixml parse: large.xml %.1f ms, part.xml %.1f ms\n", parseLarge, parsePart);

    const double load = bestOf3([&] {
        quillon::XmlDocument loaded;
        if (!loaded.load(large))
            qFatal("cannot load %s", qPrintable(large));
    });
    std::printf("XmlDocument::load of large.xml (the check's first step)  %8.1f ms   %.2fx parse\n", load,
                load / parseLarge);
    quillon::XmlDocument doc;
    if (!doc.load(large))
        qFatal("cannot load %s", qPrintable(large));

    // The first query builds the index; best of three, each on a fresh index.
    // The memory the index takes: what is resident more once it is built (its vectors are
    // reserved by an estimate and take memory only as far as they are filled).
    int firstCount = 0;
    long indexKiB = -1;
    const double first = bestOf3([&] {
        const long rss = bench::rssKiB();
        quillon::ReferenceIndex index;
        firstCount = int(index.referrerList(doc, QStringLiteral("id1")).size());
        if (indexKiB < 0)
            indexKiB = bench::rssKiB() - rss;
    });
    std::printf("Referenced by, first query (%d referrers)      %8.1f ms   %.2fx parse   index %.2fx file\n",
                firstCount, first, first / parseLarge, double(indexKiB) * 1024 / double(QFileInfo(large).size()));

    // The tab's list builds the index in parts between the window's events (2,000 instances a
    // part, then the buckets in parts too): its longest part is what the window waits.
    {
        quillon::ReferenceIndex stepped;
        double longest = 0, all = 0;
        int parts = 0;
        for (bool done = false; !done; ++parts) {
            QElapsedTimer t;
            t.start();
            done = stepped.buildSome(doc, 2000);
            const double part = ms(t);
            all += part;
            longest = std::max(longest, part);
        }
        std::printf("  the same in parts of 2,000 instances           %8.1f ms   %.2fx parse   %d parts, the longest "
                    "%.1f ms\n",
                    all, all / parseLarge, parts, longest);
    }

    quillon::ReferenceIndex index;
    index.referrers(doc, QStringLiteral("id2"));
    double slowest = 0, total = 0;
    qsizetype found = 0;
    for (int i = 0; i < 1000; ++i) {
        const QString id = QStringLiteral("id%1").arg((i * 7919) % n + 1);
        QElapsedTimer t;
        t.start();
        found += index.referrerList(doc, id).size();
        const double q = ms(t);
        slowest = std::max(slowest, q);
        total += q;
    }
    // id1 has 100,000 referrers: the answer is that long.
    QElapsedTimer t;
    t.start();
    const qsizetype many = index.referrerList(doc, QStringLiteral("id1")).size();
    const double manyMs = ms(t);
    t.start();
    const qsizetype rows = index.referrers(doc, QStringLiteral("id1")).size();
    const double rowsMs = ms(t);
    std::printf("Referenced by, later queries (1,000 ids)       slowest %.3f ms, mean %.4f ms (%lld referrers)\n",
                slowest, total / 1000, static_cast<long long>(found));
    std::printf("Referenced by, later query with %lld referrers  %8.1f ms\n", static_cast<long long>(many), manyMs);
    std::printf("  the same with all %lld rows made (referrers)    %8.1f ms\n", static_cast<long long>(rows), rowsMs);

    qsizetype findings = 0;
    const double check = bestOf3([&] { findings = quillon::ReferenceCheck::checkFiles({large}).size(); });
    std::printf("Check References of large.xml (%lld findings)   %8.1f ms   %.2fx parse of both files\n",
                static_cast<long long>(findings), check, check / (parseLarge + parsePart));
    return 0;
}
