#pragma once
// Writing a user's file so that it holds either the old bytes or the new ones, whatever happens
// during the write (a full disk, a kill, a power cut), and stays the same file to everyone who
// knows it: a symbolic link is written through to its final target and stays a link; the owner,
// group, mode and extended attributes (ACLs among them) are kept; a file with other hard links,
// in a folder the user may not write, or whose owner cannot be given to a new file is written in
// place after a full backup copy, which puts the old bytes back when the write fails. Otherwise
// the new bytes go to a temporary file in the same folder (unnamed where the file system allows
// it, else a short hidden name that the next save of the same file removes), are flushed and
// synced, and the temporary is renamed over the file. What cannot be a document or a picture (a
// folder, a pipe, a device) and a file the user may not write are refused before anything is
// written. A new file gets the mode 0666 less the umask.

#include <QByteArray>
#include <QString>

#include <cstddef>

#include <sys/stat.h>

namespace quillon {

// Takes bytes in pieces; false when they could not be taken.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool write(const char *data, size_t size) = 0;
};

class FileSink : public ByteSink {
public:
    explicit FileSink(const QString &path);
    ~FileSink() override;
    FileSink(const FileSink &) = delete;
    FileSink &operator=(const FileSink &) = delete;

    // Why path is not to be written, found without writing anything; empty when it may be.
    static QString refusal(const QString &path);
    // Writes bytes as the whole of path; returns why not (then path is as it was), else empty.
    static QString writeWhole(const QString &path, const QByteArray &bytes);

    // Checks the file again and prepares the write. False, with problem() saying why, when it
    // is not to be written.
    bool open();
    bool write(const char *data, size_t size) override;
    // Makes what was written the file. False when that failed: the file is then as it was.
    bool commit();
    // Drops what was written; the file is as it was before open().
    void cancel();

    // Why the last step failed, in words a user can act on; empty when nothing failed.
    QString problem() const;

private:
    enum class Mode { None, Unnamed, Named, InPlace };

    bool inspect();
    bool openReplacement();
    bool keepMetadata();
    bool openInPlace();
    bool makeBackup();
    bool restore();
    bool linkReplacement();
    bool writeAll(const char *data, size_t size);
    bool failed(int err);
    bool refuse(const QString &why);
    QString shown() const;

    QString m_path; // as the user named it
    QByteArray m_target; // where its links lead
    QByteArray m_folder;
    struct stat m_old = {};
    bool m_exists = false;
    bool m_folderWritable = false;
    bool m_inPlace = false;
    Mode m_mode = Mode::None;
    int m_fd = -1;
    QByteArray m_temp; // the named temporary, while it exists
    int m_backupFd = -1;
    QByteArray m_backup;
    bool m_touched = false; // the file itself was written to
    qint64 m_written = 0;
    int m_errno = 0;
    QString m_problem;
};

} // namespace quillon
