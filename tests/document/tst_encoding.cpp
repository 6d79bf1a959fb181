// The encoding module on its own: what the document tests do not reach through files.
#include "document/encoding.h"

#include <QTest>

using namespace quillon;

class TestEncoding : public QObject {
    Q_OBJECT
private slots:
    void everyWindows1252ByteRoundTrips();
    void surrogatePairsThroughUtf16_data();
    void surrogatePairsThroughUtf16();
    void unrepresentableBecomesQuestionMark_data();
    void unrepresentableBecomesQuestionMark();
};

namespace {

std::string decodeAll(const XmlEncoding &e, const std::string &bytes, bool *ok = nullptr)
{
    std::string out(encoding::utf8Capacity(e, bytes.size()), '\0');
    size_t written = 0;
    QString reason;
    const bool done = encoding::decode(e, bytes.data(), bytes.size(), out.data(), written, reason);
    if (ok)
        *ok = done;
    out.resize(done ? written : 0);
    return out;
}

} // namespace

void TestEncoding::everyWindows1252ByteRoundTrips()
{
    const XmlEncoding cp1252(XmlEncoding::Other, "windows-1252");
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, char(b));
        const std::string utf8 = decodeAll(cp1252, byte);
        const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
        const uint32_t cp = encoding::decodeUtf8(p, p + utf8.size());
        QVERIFY2(p == reinterpret_cast<const unsigned char *>(utf8.data() + utf8.size()),
                 qPrintable(QString::number(b, 16)));
        QVERIFY2(encoding::representable(cp1252, cp), qPrintable(QString::number(b, 16)));
        // The C1 gaps of windows-1252 stand for themselves; every other high byte is a
        // different character than in Latin-1.
        if (b >= 0x80 && b < 0xA0 && b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D)
            QVERIFY2(cp > 0xFF, qPrintable(QString::number(b, 16)));
        else
            QCOMPARE(cp, uint32_t(b));
        std::string back;
        encoding::encodeUtf8(cp1252, utf8.data(), utf8.size(), back);
        QCOMPARE(back, byte);
    }
}

void TestEncoding::surrogatePairsThroughUtf16_data()
{
    QTest::addColumn<int>("encodingIndex");
    QTest::addColumn<QByteArray>("utf16");
    // "a" U+1F600 U+10FFFF U+10000 "z"
    QTest::newRow("little-endian") << int(XmlEncoding::Utf16LE)
                                   << QByteArray("a\0\x3D\xD8\x00\xDE\xFF\xDB\xFF\xDF\x00\xD8\x00\xDCz\0", 16);
    QTest::newRow("big-endian") << int(XmlEncoding::Utf16BE)
                                << QByteArray("\0a\xD8\x3D\xDE\x00\xDB\xFF\xDF\xFF\xD8\x00\xDC\x00\0z", 16);
}

void TestEncoding::surrogatePairsThroughUtf16()
{
    QFETCH(int, encodingIndex);
    QFETCH(QByteArray, utf16);
    const XmlEncoding e{XmlEncoding::Kind(encodingIndex)};
    bool ok = false;
    const std::string utf8 = decodeAll(e, utf16.toStdString(), &ok);
    QVERIFY(ok);
    QCOMPARE(QByteArray::fromStdString(utf8), QByteArray("a\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\xF0\x90\x80\x80z"));
    std::string back;
    encoding::encodeUtf8(e, utf8.data(), utf8.size(), back);
    QCOMPARE(QByteArray::fromStdString(back), utf16);

    // A high surrogate with no low one after it, and a low one alone, are refused.
    for (const QByteArray &bad : {utf16.left(4), utf16.mid(4, 2)}) {
        decodeAll(e, bad.toStdString(), &ok);
        QVERIFY(!ok);
    }
}

void TestEncoding::unrepresentableBecomesQuestionMark_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("expected");
    // "é€あ" in each encoding.
    QTest::newRow("latin-1") << QByteArray("ISO-8859-1") << QByteArray("\xE9??");
    QTest::newRow("windows-1252") << QByteArray("windows-1252") << QByteArray("\xE9\x80?");
    QTest::newRow("us-ascii") << QByteArray("US-ASCII") << QByteArray("???");
    QTest::newRow("ISO-8859-15") << QByteArray("iso-8859-15") << QByteArray("\xE9\xA4?");
    QTest::newRow("Shift_JIS") << QByteArray("Shift_JIS") << QByteArray("??\x82\xA0");
    QTest::newRow("GB18030: holds them all") << QByteArray("GB18030") << QByteArray("\xA8\xA6\xA2\xE3\xA4\xA2");
}

void TestEncoding::unrepresentableBecomesQuestionMark()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, expected);
    const QByteArray utf8("\xC3\xA9\xE2\x82\xAC\xE3\x81\x82");
    std::string out;
    encoding::encodeUtf8(XmlEncoding(XmlEncoding::Other, name.toStdString()), utf8.constData(), size_t(utf8.size()),
                         out);
    QCOMPARE(QByteArray::fromStdString(out), expected);
}

QTEST_APPLESS_MAIN(TestEncoding)
#include "tst_encoding.moc"
