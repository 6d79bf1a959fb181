// The safe writer of user files (see filesink.h).
#include "document/filesink.h"
#include "document/savefault_p.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace quillon {

qint64 g_saveFailAfterBytes = -1;
bool g_saveNamedTemporary = false;

namespace {

constexpr int kMaxLinks = 40; // as the kernel follows them
constexpr int kSuffix = 6;

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray baseOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// Follows the symbolic links path names to the name they end at, which need not exist. 0 or
// the errno of the failure.
int resolveLinks(QByteArray &path)
{
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return 0;
        QByteArray to(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), to.data(), size_t(to.size()));
        if (n < 0)
            return errno;
        if (n >= to.size())
            return ENAMETOOLONG;
        to.truncate(n);
        path = to.startsWith('/') ? to : folderOf(path) + '/' + to;
    }
    return ELOOP;
}

// The start of the names of this program's temporaries and backups of one file: hidden, short
// whatever the file's name, and the same at every save, so that those a killed save left can
// be found. The rest of a name is kSuffix random letters.
QByteArray tempPrefix(const QByteArray &key)
{
    quint32 h = 2166136261u; // FNV-1a: the same in every build
    for (const char c : key) {
        h ^= quint8(c);
        h *= 16777619u;
    }
    return '.' + QByteArray::number(h, 16).rightJustified(8, '0') + ".quillon-";
}

QByteArray randomSuffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray s(kSuffix, '\0');
    for (char &c : s)
        c = letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return s;
}

// Creates a new file prefix + random letters in folder, held locked while it is open; its
// descriptor, or -1 with errno set.
int createNamed(const QByteArray &folder, const QByteArray &prefix, mode_t mode, QByteArray &made)
{
    for (int tries = 0; tries < 100; ++tries) {
        const QByteArray name = folder + '/' + prefix + randomSuffix();
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX);
            made = name;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

// Removes from folder the temporaries and backups named with prefix that no running save holds.
void removeStale(const QByteArray &folder, const QByteArray &prefix)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const int dfd = ::dirfd(dir);
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name.size() != prefix.size() + kSuffix || !name.startsWith(prefix))
            continue;
        const int fd = ::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held, named;
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dfd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == held.st_ino &&
            named.st_dev == held.st_dev)
            ::unlinkat(dfd, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

bool writeFully(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool copyAll(int from, int to)
{
    QByteArray block(1 << 16, '\0');
    for (;;) {
        const ssize_t n = ::read(from, block.data(), size_t(block.size()));
        if (n == 0)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || !writeFully(to, block.constData(), size_t(n)))
            return false;
    }
}

// Reads a list or a value of extended attributes through get (which is called with a buffer
// and its size, as listxattr and getxattr are), growing the buffer while it is too small.
template <typename Get> bool readGrowing(QByteArray &out, Get get)
{
    for (int tries = 0; tries < 8; ++tries) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        out.resize(size);
        const ssize_t n = get(out.data(), size_t(size));
        if (n >= 0) {
            out.truncate(n);
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// The names of the extended attributes of path (of fd when path is null). A file system
// without them has none.
bool xattrNames(const char *path, int fd, QList<QByteArray> &names)
{
    QByteArray list;
    if (!readGrowing(list, [&](char *buf, size_t size) {
            return path ? ::listxattr(path, buf, size) : ::flistxattr(fd, buf, size);
        }))
        return errno == ENOTSUP;
    for (const QByteArray &name : list.split('\0'))
        if (!name.isEmpty())
            names.append(name);
    return true;
}

// Gives the file fd the extended attributes (and with them the ACLs) of the file from, and no
// others. False when one cannot be set or removed.
bool copyXattrs(const QByteArray &from, int fd)
{
    QList<QByteArray> had, has;
    if (!xattrNames(from.constData(), -1, had) || !xattrNames(nullptr, fd, has))
        return false;
    for (const QByteArray &name : had) {
        QByteArray value;
        if (!readGrowing(value, [&](char *buf, size_t size) {
                return ::getxattr(from.constData(), name.constData(), buf, size);
            }))
            return false;
        if (::fsetxattr(fd, name.constData(), value.constData(), size_t(value.size()), 0) != 0)
            return false;
    }
    // What the new file got from its folder (a default ACL) and the old one did not have.
    for (const QByteArray &name : has)
        if (!had.contains(name) && ::fremovexattr(fd, name.constData()) != 0 && errno != ENODATA)
            return false;
    return true;
}

// Links the open file fd, which has no name yet, as to. 0 or the errno.
int linkUnnamed(int fd, const QByteArray &to)
{
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    if (::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, to.constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, to.constData(), AT_EMPTY_PATH) == 0)
        return 0;
    return errno;
}

// Makes a rename in folder durable.
void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString systemReason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

FileSink::FileSink(const QString &path) : m_path(path) { }

FileSink::~FileSink()
{
    cancel();
}

QString FileSink::refusal(const QString &path)
{
    FileSink file(path);
    return file.inspect() ? QString() : file.problem();
}

QString FileSink::writeWhole(const QString &path, const QByteArray &bytes)
{
    FileSink file(path);
    if (file.open() && file.write(bytes.constData(), size_t(bytes.size())) && file.commit())
        return {};
    file.cancel();
    return file.problem();
}

bool FileSink::open()
{
    cancel();
    m_errno = 0;
    m_problem.clear();
    m_written = 0;
    if (!inspect())
        return false;
    if (m_folderWritable)
        removeStale(m_folder, tempPrefix(baseOf(m_target)));
    if (!m_inPlace) {
        if (!openReplacement())
            return false;
        if (!m_exists || keepMetadata())
            return true;
        // A new file cannot carry what the old one has (its owner, an attribute): the old one
        // is written in place instead.
        cancel();
    }
    return openInPlace();
}

bool FileSink::inspect()
{
    m_target = QFile::encodeName(m_path);
    m_folder = folderOf(m_target);
    m_exists = m_inPlace = m_folderWritable = false;
    if (m_target.isEmpty())
        return failed(ENOENT);
    if (const int err = resolveLinks(m_target))
        return failed(err);
    m_folder = folderOf(m_target);
    struct stat folder;
    if (::stat(m_folder.constData(), &folder) != 0)
        return failed(errno == EACCES ? EACCES : ENOENT);
    if (!S_ISDIR(folder.st_mode))
        return failed(ENOENT);
    m_folderWritable = ::faccessat(AT_FDCWD, m_folder.constData(), W_OK | X_OK, AT_EACCESS) == 0;
    const int folderErr = m_folderWritable ? 0 : errno;
    if (::lstat(m_target.constData(), &m_old) != 0) {
        // A new file: the folder takes it or not.
        return errno != ENOENT ? failed(errno) : m_folderWritable || failed(folderErr);
    }
    m_exists = true;
    if (!S_ISREG(m_old.st_mode))
        return refuse(QCoreApplication::translate("FileSink", "%1 is not a regular file.").arg(shown()));
    if (::faccessat(AT_FDCWD, m_target.constData(), W_OK, AT_EACCESS) != 0)
        return errno == EROFS
                   ? failed(EROFS)
                   : refuse(QCoreApplication::translate("FileSink", "You are not allowed to change %1.").arg(shown()));
    m_inPlace = m_old.st_nlink > 1 || !m_folderWritable;
    return true;
}

bool FileSink::openReplacement()
{
    // A new file gets 0666 less the umask (or the folder's default ACL); a replacement is the
    // owner's alone until it has the old file's owner and mode.
    const mode_t mode = m_exists ? 0600 : 0666;
    if (!g_saveNamedTemporary && ::access("/proc/self/fd", X_OK) == 0) {
        m_fd = ::open(m_folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_EX);
            m_mode = Mode::Unnamed;
            return true;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return failed(errno);
    }
    m_fd = createNamed(m_folder, tempPrefix(baseOf(m_target)), mode, m_temp);
    if (m_fd < 0)
        return failed(errno);
    m_mode = Mode::Named;
    return true;
}

bool FileSink::keepMetadata()
{
    struct stat now;
    if (::fstat(m_fd, &now) != 0)
        return false;
    if ((now.st_uid != m_old.st_uid || now.st_gid != m_old.st_gid) && ::fchown(m_fd, m_old.st_uid, m_old.st_gid) != 0)
        return false;
    if (!copyXattrs(m_target, m_fd))
        return false;
    // Last: a change of owner clears the set-id bits, and an ACL sets the group's.
    const mode_t mode = m_old.st_mode & 07777;
    return ::fchmod(m_fd, mode) == 0 && ::fstat(m_fd, &now) == 0 && (now.st_mode & 07777) == mode;
}

bool FileSink::openInPlace()
{
    if (!makeBackup())
        return false;
    m_fd = ::open(m_target.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0) {
        const int err = errno;
        cancel();
        return failed(err);
    }
    m_mode = Mode::InPlace;
    return true;
}

bool FileSink::makeBackup()
{
    // Next to the file where the folder takes it, else in the folder for temporary files.
    const QByteArray where = m_folderWritable ? m_folder : QFile::encodeName(QDir::tempPath());
    const QByteArray prefix =
        tempPrefix(m_folderWritable ? baseOf(m_target)
                                    : QFile::encodeName(QFileInfo(QFile::decodeName(m_target)).absoluteFilePath()));
    if (!m_folderWritable)
        removeStale(where, prefix);
    const int from = ::open(m_target.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (from < 0)
        return failed(errno);
    m_backupFd = createNamed(where, prefix, 0600, m_backup);
    const bool ok = m_backupFd >= 0 && copyAll(from, m_backupFd) && ::fsync(m_backupFd) == 0;
    const int err = errno;
    ::close(from);
    if (ok)
        return true;
    cancel();
    m_errno = err ? err : EIO;
    return refuse(
        QCoreApplication::translate("FileSink", "No backup copy of %1 could be made in %2 (%3), so it was not changed.")
            .arg(shown(), QDir::toNativeSeparators(QFile::decodeName(where)), systemReason(m_errno)));
}

bool FileSink::restore()
{
    const int fd = ::open(m_target.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    bool ok = fd >= 0 && ::lseek(m_backupFd, 0, SEEK_SET) == 0 && copyAll(m_backupFd, fd) &&
              ::ftruncate(fd, m_old.st_size) == 0 && ::fsync(fd) == 0;
    if (fd >= 0 && ::close(fd) != 0)
        ok = false;
    return ok;
}

bool FileSink::write(const char *data, size_t size)
{
    if (m_fd < 0)
        return failed(EBADF);
    m_touched = m_touched || m_mode == Mode::InPlace;
    if (g_saveFailAfterBytes >= 0 && m_written + qint64(size) > g_saveFailAfterBytes) {
        size = size_t(std::max<qint64>(0, g_saveFailAfterBytes - m_written));
        return writeAll(data, size) && failed(ENOSPC);
    }
    return writeAll(data, size);
}

bool FileSink::commit()
{
    if (m_fd < 0)
        return failed(EBADF);
    if (m_mode == Mode::InPlace) {
        if (::ftruncate(m_fd, m_written) != 0 || ::fsync(m_fd) != 0)
            return failed(errno);
        const int fd = std::exchange(m_fd, -1);
        if (::close(fd) != 0)
            return failed(errno);
        m_touched = false; // the backup has done its work
        cancel();
        return true;
    }
    if (::fsync(m_fd) != 0 || !linkReplacement())
        return failed(errno);
    if (!m_temp.isEmpty()) {
        if (::rename(m_temp.constData(), m_target.constData()) != 0)
            return failed(errno);
        m_temp.clear();
    }
    ::close(std::exchange(m_fd, -1)); // synced already: nothing is left to report
    m_mode = Mode::None;
    syncFolder(m_folder);
    return true;
}

bool FileSink::linkReplacement()
{
    if (m_mode != Mode::Unnamed)
        return true;
    if (!m_exists) {
        const int err = linkUnnamed(m_fd, m_target);
        if (err != EEXIST) {
            errno = err;
            return err == 0;
        }
    }
    // A name to rename over the file.
    const QByteArray prefix = m_folder + '/' + tempPrefix(baseOf(m_target));
    for (int tries = 0; tries < 100; ++tries) {
        const QByteArray name = prefix + randomSuffix();
        const int err = linkUnnamed(m_fd, name);
        if (err == 0) {
            m_temp = name;
            return true;
        }
        errno = err;
        if (err != EEXIST)
            return false;
    }
    return false;
}

void FileSink::cancel()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
    m_temp.clear();
    if (m_backupFd >= 0) {
        if (m_touched && !restore()) {
            m_problem = QCoreApplication::translate("FileSink", "%1 The old content of %2 is kept in %3.")
                            .arg(problem(), shown(), QDir::toNativeSeparators(QFile::decodeName(m_backup)));
        } else {
            ::unlink(m_backup.constData());
        }
        ::close(std::exchange(m_backupFd, -1));
    }
    m_backup.clear();
    m_touched = false;
    m_mode = Mode::None;
}

bool FileSink::writeAll(const char *data, size_t size)
{
    if (!writeFully(m_fd, data, size))
        return failed(errno);
    m_written += qint64(size);
    return true;
}

bool FileSink::failed(int err)
{
    m_errno = err ? err : EIO;
    return false;
}

bool FileSink::refuse(const QString &why)
{
    m_problem = why;
    if (!m_errno)
        m_errno = EPERM;
    return false;
}

QString FileSink::shown() const
{
    return QDir::toNativeSeparators(m_path);
}

QString FileSink::problem() const
{
    if (!m_problem.isEmpty())
        return m_problem;
    if (!m_errno)
        return {};
    const QString folder = QDir::toNativeSeparators(QFileInfo(QFile::decodeName(m_folder)).absoluteFilePath());
    switch (m_errno) {
    case ENOSPC:
    case EDQUOT:
        return QCoreApplication::translate("FileSink", "The disk is full.");
    case EROFS:
        return QCoreApplication::translate("FileSink", "The disk holding %1 is read-only.").arg(folder);
    case EACCES:
    case EPERM:
        return m_exists ? QCoreApplication::translate("FileSink", "You are not allowed to change %1.").arg(shown())
                        : QCoreApplication::translate("FileSink", "You are not allowed to write into %1.").arg(folder);
    case ENOENT:
        return QCoreApplication::translate("FileSink", "The folder %1 does not exist.").arg(folder);
    case EIO:
        return QCoreApplication::translate("FileSink", "The disk reported an error.");
    case ENAMETOOLONG:
        return QCoreApplication::translate("FileSink", "The file name is too long for this disk.");
    case ELOOP:
        return QCoreApplication::translate("FileSink", "The links of %1 lead round in a circle.").arg(shown());
    default:
        break;
    }
    return QCoreApplication::translate("FileSink", "The file could not be written (%1).").arg(systemReason(m_errno));
}

} // namespace quillon
