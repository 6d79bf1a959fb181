// The order by hash bucket that the index of ids and the reference index share
// (document/strtable_p.h): a lookup visits every entry of the hash's bucket, in the entries'
// own order (document order, which makes the first of an id the first visited), and stops
// when told to.
#include "document/strtable_p.h"

#include <QTest>

#include <algorithm>
#include <vector>

using namespace quillon;

class TestHashBuckets : public QObject {
    Q_OBJECT
private slots:
    void visitsTheBucketInOrder_data();
    void visitsTheBucketInOrder();
};

// Rows: the hash of each entry, the hash looked up, the entry after which the lookup is told
// to stop (-1: never), and the entries of that hash visited. There are at least 16 buckets:
// 3, 19 and 35 share one.
void TestHashBuckets::visitsTheBucketInOrder_data()
{
    QTest::addColumn<std::vector<uint32_t>>("hashes");
    QTest::addColumn<uint32_t>("hash");
    QTest::addColumn<int>("stopAfter");
    QTest::addColumn<std::vector<uint32_t>>("visited");
    QTest::newRow("no entries") << std::vector<uint32_t>{} << 7u << -1 << std::vector<uint32_t>{};
    QTest::newRow("one of each") << std::vector<uint32_t>{5, 9, 13} << 9u << -1 << std::vector<uint32_t>{1};
    QTest::newRow("one hash, in order") << std::vector<uint32_t>{7, 2, 7, 7} << 7u << -1
                                        << std::vector<uint32_t>{0, 2, 3};
    QTest::newRow("one bucket, other hashes")
        << std::vector<uint32_t>{19, 35, 4, 3, 19} << 19u << -1 << std::vector<uint32_t>{0, 4};
    QTest::newRow("told to stop at another hash")
        << std::vector<uint32_t>{3, 19} << 19u << 0 << std::vector<uint32_t>{};
    QTest::newRow("stops when told") << std::vector<uint32_t>{7, 7, 7} << 7u << 0 << std::vector<uint32_t>{0};
    QTest::newRow("not there") << std::vector<uint32_t>{1, 2} << 6u << -1 << std::vector<uint32_t>{};
    // More entries than the least number of buckets: the buckets grow with them.
    std::vector<uint32_t> many;
    for (uint32_t i = 0; i < 1000; ++i)
        many.push_back(i * 2654435761u);
    many.push_back(many[500]);
    QTest::newRow("many") << many << many[500] << -1 << std::vector<uint32_t>{500, 1000};
}

void TestHashBuckets::visitsTheBucketInOrder()
{
    QFETCH(std::vector<uint32_t>, hashes);
    QFETCH(uint32_t, hash);
    QFETCH(int, stopAfter);
    QFETCH(std::vector<uint32_t>, visited);
    HashBuckets buckets;
    buckets.build(hashes.size(), [&](size_t i) { return hashes[i]; });
    std::vector<uint32_t> seen, same;
    buckets.find(hash, [&](uint32_t i) {
        seen.push_back(i);
        if (hashes[i] == hash)
            same.push_back(i);
        return int(i) == stopAfter;
    });
    QCOMPARE(same, visited);
    // What else is visited shares the bucket, and comes in order too.
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    for (uint32_t i : seen)
        QCOMPARE(hashes[i] % 16, hash % 16);
    // Built two entries at a time, the buckets are the same.
    HashBuckets inParts;
    inParts.begin(hashes.size());
    int calls = 0;
    while (!inParts.buildSome([&](size_t i) { return hashes[i]; }, 2))
        QVERIFY(++calls <= int(hashes.size()) + 1);
    std::vector<uint32_t> seenInParts;
    inParts.find(hash, [&](uint32_t i) {
        seenInParts.push_back(i);
        return int(i) == stopAfter;
    });
    QCOMPARE(seenInParts, seen);
}

QTEST_GUILESS_MAIN(TestHashBuckets)
#include "tst_hashbuckets.moc"
