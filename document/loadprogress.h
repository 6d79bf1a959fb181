#pragma once
// How far the reading of a file has come. The reader, on its worker thread, counts the bytes
// as it reads them; anyone may poll the counters on any thread (a wait window, on a timer).
// The file's name is set when the object is made and never changes.

#include <QString>

#include <atomic>

namespace quillon {

class LoadProgress {
public:
    explicit LoadProgress(const QString &file = {}) : m_file(file) { }

    QString file() const { return m_file; }
    qint64 bytesRead() const { return m_read.load(std::memory_order_relaxed); }
    // The file's size; -1 until the reader has opened it.
    qint64 totalBytes() const { return m_total.load(std::memory_order_relaxed); }
    // All bytes are read; the parse runs.
    bool parsing() const { return m_parsing.load(std::memory_order_relaxed); }
    // 0..100 once the size is known, -1 before.
    int percent() const;
    // For the user: "assembly.xml: 1.2 MB of 5.0 MB read", "assembly.xml: 1.2 MB read" before
    // the size is known, "assembly.xml: parsing 5.0 MB" once read.
    QString text() const;

    // The reader's side.
    void setTotal(qint64 bytes) { m_total.store(bytes, std::memory_order_relaxed); }
    void addRead(qint64 bytes) { m_read.fetch_add(bytes, std::memory_order_relaxed); }
    void setParsing() { m_parsing.store(true, std::memory_order_relaxed); }

private:
    const QString m_file;
    std::atomic<qint64> m_read{0};
    std::atomic<qint64> m_total{-1};
    std::atomic<bool> m_parsing{false};
};

} // namespace quillon
