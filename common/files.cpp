#include "common/files.h"

#include "common/errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSaveFile>

#include <QDirIterator>

#include <vector>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marigal {

bool FileExists(const QString& path)
{
    if (path.isEmpty()) return false;
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

void RemoveFile(const QString& path)
{
    // No pending events are processed here: a window's close or a quit in
    // the queue would end the application in the middle of a run's steps, and
    // the command's job threads call this too.
    if (QFile::remove(path)) return;
    try {
        RemoveFileByFso(path);
    } catch (...) {
        // Nothing is reported when neither method could delete the file.
    }
}

void RemoveFileByFso(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (path.isEmpty() || ::lstat(native.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        throw AppError(apperr::kFileNotFound);
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) ::chmod(native.constData(), st.st_mode | S_IWUSR);
    if (::unlink(native.constData()) != 0) throw AppError(apperr::kPermissionDenied);
}

// A full disk and a file-size limit (EFBIG, with SIGXFSZ ignored) read
// alike to the user.
QString WriteFailureText(int error)
{
    switch (error) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return apperr::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS: return apperr::kPermissionDenied;
    case ENOENT:
    case ENOTDIR: return apperr::kPathNotFound;
    case ENAMETOOLONG: return apperr::kFileNameTooLong;
    default: return apperr::kDeviceIo;
    }
}

int WriteAndClose(int fd, const QByteArray& bytes)
{
    int error = 0;
    for (qint64 done = 0; done < bytes.size() && !error;) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) done += n;
        else if (n < 0 && errno != EINTR) error = errno;
    }
    if (::close(fd) != 0 && !error) error = errno;
    return error;
}

unsigned NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

namespace {

// A file written whole beside its target, under a name of its own, and
// where it is to go (a link is written through, as to the file it names).
struct Staged {
    QByteArray temp, target;
};

Staged WriteBeside(const QByteArray& bytes, const QString& path, bool replace)
{
    if (path.isEmpty()) throw AppError(apperr::kFileNotFound);
    QFileInfo info(path);
    if (!info.absoluteDir().exists()) throw AppError(apperr::kPathNotFound);
    if (info.isDir()) throw AppError(apperr::kPermissionDenied);
    RefuseTooLongName(path);
    if (!replace && info.exists()) throw AppError(apperr::kFileAlreadyExists);
    if (info.isSymLink() && info.exists()) info = QFileInfo(info.canonicalFilePath());
    // A short name of its own: a name as long as the file system allows
    // leaves no room for anything added to it.
    QByteArray temp = QFile::encodeName(info.absolutePath() + QStringLiteral("/.marigal-XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) throw AppError(WriteFailureText(errno));
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    struct stat old {};
    ::fchmod(fd, ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : NewFileMode());
    if (const int error = WriteAndClose(fd, bytes)) {
        ::unlink(temp.constData());
        throw AppError(WriteFailureText(error));
    }
    return {temp, target};
}

// Renamed into its place: over the old file, or only while there is none,
// so that another writer that got there first keeps its file. 0 or errno.
int PutInPlace(const Staged& file, bool replace)
{
    if (replace) return ::rename(file.temp.constData(), file.target.constData()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, file.temp.constData(), AT_FDCWD, file.target.constData(), RENAME_NOREPLACE) == 0) return 0;
    int error = errno;
    if (error == EINVAL || error == ENOSYS) {  // a file system without it: a link does the same
        error = ::link(file.temp.constData(), file.target.constData()) == 0 ? 0 : errno;
        if (!error) ::unlink(file.temp.constData());
    }
    return error;
}

// Replaced whole, or not at all: a failed write leaves the old file as it
// was and no part of the new one.
void WriteWhole(const QByteArray& bytes, const QString& path, bool replace)
{
    const Staged file = WriteBeside(bytes, path, replace);
    if (const int error = PutInPlace(file, replace)) {
        ::unlink(file.temp.constData());
        throw AppError(error == EEXIST ? apperr::kFileAlreadyExists : WriteFailureText(error));
    }
}

}  // namespace

void RefuseTooLongName(const QString& path)
{
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(info.fileName());
    const long limit = ::pathconf(QFile::encodeName(info.absolutePath()).constData(), _PC_NAME_MAX);
    if (name.size() > (limit > 0 ? limit : NAME_MAX))
        throw AppError(QStringLiteral("%1: %2").arg(apperr::kFileNameTooLong, info.fileName()));
}

void WriteBytesToFile(const QByteArray& bytes, const QString& path)
{
    WriteWhole(bytes, path, true);
}

void WriteNewFile(const QByteArray& bytes, const QString& path)
{
    WriteWhole(bytes, path, false);
}

void RefuseSameFile(const QString& source, const QString& target)
{
    struct stat a {}, b {};
    if (::stat(QFile::encodeName(source).constData(), &a) == 0 &&
        ::stat(QFile::encodeName(target).constData(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        throw AppError(apperr::kPathFileAccess);
}

void CopyFileReplacing(const QString& source, const QString& target)
{
    RefuseSameFile(source, target);
    QFile in(source);
    if (!in.exists()) throw AppError(apperr::kFileNotFound);
    if (!in.open(QIODevice::ReadOnly)) throw AppError(apperr::kPermissionDenied);
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) throw AppError(apperr::kDeviceIo);
    WriteBytesToFile(bytes, target);
}

QString ApplicationFolder()
{
    // Installed, the data sits in its own folder beside bin/; in the build
    // tree, beside the executable.
    const QString bin = QCoreApplication::applicationDirPath();
    const QDir data(QDir(bin).filePath(QStringLiteral(MARIGAL_DATA_FROM_BIN)));
    return data.exists() ? data.canonicalPath() : bin;
}

QString JoinPath(const QString& folder, const QString& relative)
{
    QString rel = relative;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::toNativeSeparators(folder + QLatin1Char('/') + rel);
}

namespace {

// A folder no one but the user can plant files in or redirect, and that the
// user can write in.
bool IsPrivateFolder(const QString& path, bool exactMode)
{
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
    if (::access(native.constData(), W_OK | X_OK) != 0) return false;
    return exactMode ? (st.st_mode & 0777) == 0700 : (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

QString MakePrivateFolder(const QString& base)
{
    const QString wanted = base + QStringLiteral("/marigal-") + QString::number(::geteuid());
    const QByteArray native = QFile::encodeName(wanted);
    if (::mkdir(native.constData(), 0700) == 0 || errno == EEXIST) {
        if (IsPrivateFolder(wanted, true)) return wanted;
    }
    // The fixed name is taken by someone else: a fresh folder of our own.
    QByteArray tmpl = QFile::encodeName(base + QStringLiteral("/marigal-XXXXXX"));
    if (::mkdtemp(tmpl.data())) return QFile::decodeName(tmpl);
    throw AppError(apperr::kPathNotFound);
}

const QString kRunPrefix = QStringLiteral("marigal-run-");

// This program's folder in one working folder, and the lock that marks it
// as in use: an flock on the folder itself, held until the program ends.
struct RunFolderEntry {
    QString path;
    int lock = -1;
};

QHash<QString, RunFolderEntry>& RunFolders()
{
    static QHash<QString, RunFolderEntry> folders;
    return folders;
}

// Takes the lock of a folder at `path`; -1 when someone holds it.
int LockFolder(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    ::close(fd);
    return -1;
}

// Folders of earlier runs that nobody holds any more: their program was
// killed or crashed. Nothing else in the working folder is touched.
const QString kStagingPrefix = QStringLiteral(".marigal-new-");

void RemoveAbandonedRunFolders(const QString& working)
{
    // Also the folders a program was killed while making, before it locked
    // one: a minute old, nobody is still about to.
    QDirIterator it(working, {kRunPrefix + QStringLiteral("*"), kStagingPrefix + QStringLiteral("*")},
                    QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    const time_t aMinuteAgo = ::time(nullptr) - 60;
    while (it.hasNext()) {
        const QString dir = it.next();
        struct stat st {};
        const QByteArray native = QFile::encodeName(dir);
        if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
        if (it.fileName().startsWith(kStagingPrefix) && st.st_mtime > aMinuteAgo) continue;
        const int fd = LockFolder(native);
        if (fd < 0) continue;  // a running program's
        QDir(dir).removeRecursively();
        ::close(fd);
    }
}

}  // namespace

QString WorkingFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty() && IsPrivateFolder(temp, false)) return temp;

    // Decided once per TEMP value, so every path of this process agrees.
    static QHash<QString, QString> chosen;
    auto it = chosen.constFind(temp);
    if (it != chosen.constEnd() && IsPrivateFolder(*it, true)) return *it;
    // Inside TEMP when it is a folder that takes one (not a read-only one),
    // else inside the system's temporary folder.
    QString folder;
    struct stat st {};
    if (!temp.isEmpty() && ::stat(QFile::encodeName(temp).constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
        try {
            folder = MakePrivateFolder(temp);
        } catch (const AppError&) {
        }
    }
    if (folder.isEmpty()) folder = MakePrivateFolder(QDir::tempPath());
    chosen.insert(temp, folder);
    return folder;
}

QString RunFolder()
{
    const QString working = WorkingFolder();
    RunFolderEntry& entry = RunFolders()[working];
    struct stat st {};
    if (entry.lock >= 0 && ::lstat(QFile::encodeName(entry.path).constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return entry.path;
    if (entry.lock >= 0) ::close(entry.lock);  // removed under us: a new one
    entry = {};
    RemoveAbandonedRunFolders(working);
    // Made and locked under a name the sweep above never takes, then given
    // its name: no other program can find it unlocked.
    QByteArray staging = QFile::encodeName(working + QLatin1Char('/') + kStagingPrefix + QStringLiteral("XXXXXX"));
    if (!::mkdtemp(staging.data())) throw AppError(WriteFailureText(errno));
    const int fd = LockFolder(staging);
    const QString path = working + QLatin1Char('/') + kRunPrefix + QFile::decodeName(staging).right(6);
    if (fd < 0 || ::rename(staging.constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        ::rmdir(staging.constData());
        throw AppError(WriteFailureText(error));
    }
    entry = {path, fd};
    return path;
}

void RemoveRunFolders()
{
    for (RunFolderEntry& entry : RunFolders()) {
        QDir(entry.path).removeRecursively();
        if (entry.lock >= 0) ::close(entry.lock);
    }
    RunFolders().clear();
}

QString WorkPath(const QString& fileName)
{
    return JoinPath(RunFolder(), fileName);
}

QString CardPdfPath(const QString& cardDocument)
{
    if (cardDocument.isEmpty()) return {};
    const QFileInfo doc(cardDocument);
    return doc.dir().filePath(doc.completeBaseName() + QStringLiteral(".pdf"));
}

}  // namespace marigal
