#pragma once
// Whether a document fits in the memory the machine can give: an estimate of what reading and
// showing it takes (its size times a measured factor) against the memory available now
// (MemAvailable of /proc/meminfo, and the room left under the cgroup's limit when one is set).

#include <QString>

namespace quillon {

// Where the figures are read; tests point them at files of their own.
struct MemorySources {
    QString meminfo = QStringLiteral("/proc/meminfo");
    QString cgroup = QStringLiteral("/sys/fs/cgroup"); // v2: memory.max; v1: memory/memory.limit_in_bytes
};

// Memory a document takes at its peak, read and shown in the tree, per byte of the file
// (bench/bench_scale: 3.11 for a million instances, the program's own 33 MiB included, and
// 2.93 for 4.5 million). Its text is kept once, in the parser's buffer.
inline constexpr double kMemoryPerFileByte = 3.2;
// The same for a document only read (for a check, or a comparison), which keeps a copy of its
// text beside the parser's (4.04 for a million instances, 3.88 for 4.5 million).
inline constexpr double kMemoryPerFileByteCopied = 4.1;

// The bytes of memory available, or -1 when nothing can be told.
qint64 availableMemory(const MemorySources &sources);

// Why a file of fileBytes cannot be held, at perByte bytes of memory for each of its bytes, ""
// when it fits (or when the memory available cannot be told): "it is N bytes: it needs about
// 9.1 GB of memory; 6.2 GB are available".
QString memoryRefusal(qint64 fileBytes, const MemorySources &sources, double perByte = kMemoryPerFileByte);

// The sources every load reads (the system's, unless set otherwise).
const MemorySources &memorySources();
void setMemorySources(const MemorySources &sources);

} // namespace quillon
