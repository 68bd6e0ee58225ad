#include "common/placed_files.h"

#include "common/errors.h"
#include "common/files.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marigal {

namespace {

// What stands at a place that is not a plain file, in words.
QString NotAFile(const QString& shown, mode_t mode)
{
    const char* what = S_ISLNK(mode) ? "a symbolic link" : S_ISFIFO(mode) ? "a named pipe"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device" : S_ISSOCK(mode) ? "a socket"
                       : S_ISDIR(mode) ? "a folder" : "not a file";
    return QStringLiteral("%1 is %2, not a file: it is not replaced").arg(shown, QLatin1String(what));
}

QByteArray RealPath(const QByteArray& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

bool Within(const QByteArray& real, const QByteArray& root)
{
    if (real.isEmpty() || root.isEmpty()) return false;
    return real == root || root == "/" || real.startsWith(root + '/');
}

struct Placed {
    int folder = -1;        // the target's folder, opened once
    QByteArray name;        // the target's name in it
    QByteArray temp;        // the new file's name beside it, until it is in place
    QByteArray old;         // where the file it replaced waits, once exchanged
    QString shown;
    bool inPlace = false;
};

}  // namespace

bool LiesInside(const QString& path, const QString& root)
{
    return Within(RealPath(QFile::encodeName(path)), RealPath(QFile::encodeName(root)));
}

struct StagedFiles::Files {
    FolderRule rule;
    std::vector<Placed> files;

    Placed& stage(const QString& target, bool replace, const QString& shownAs)
    {
        const QString shown = shownAs.isEmpty() ? target : shownAs;
        const QFileInfo info(target);
        const QByteArray name = QFile::encodeName(info.fileName());
        if (target.isEmpty() || name.isEmpty() || name == "." || name == "..") throw AppError(apperr::kFileNotFound);
        Placed p;
        p.name = name;
        p.shown = shown;
        // The folder as it is now, links and all; from here on everything is relative to it.
        p.folder = ::open(QFile::encodeName(info.absolutePath()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (p.folder < 0) throw AppError(QStringLiteral("%1: %2").arg(WriteFailureText(errno), shown));
        files.push_back(p);
        Placed& f = files.back();
        if (!rule.root.isEmpty()) {
            const QByteArray opened = RealPath("/proc/self/fd/" + QByteArray::number(f.folder));
            if (!Within(opened, RealPath(QFile::encodeName(rule.root))))
                throw AppError(QStringLiteral("%1 is outside %2").arg(shown, rule.rootName));
        }
        const long limit = ::fpathconf(f.folder, _PC_NAME_MAX);
        if (name.size() > (limit > 0 ? limit : NAME_MAX))
            throw AppError(QStringLiteral("%1: %2").arg(apperr::kFileNameTooLong, info.fileName()));
        struct stat st {};
        const bool there = ::fstatat(f.folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (there && !S_ISREG(st.st_mode)) throw AppError(NotAFile(shown, st.st_mode));
        if (there && !replace) throw AppError(QStringLiteral("%1: %2").arg(apperr::kFileAlreadyExists, shown));
        // A short name of its own: a name as long as the file system allows
        // leaves no room for anything added to it.
        for (int attempt = 0; attempt < 100 && f.temp.isEmpty(); ++attempt) {
            const QByteArray temp = ".marigal-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
            const int fd = ::openat(f.folder, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                    there ? (st.st_mode & 07777) : NewFileMode());
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) throw AppError(QStringLiteral("%1: %2").arg(WriteFailureText(errno), shown));
            ::close(fd);
            f.temp = temp;
        }
        if (f.temp.isEmpty()) throw AppError(QStringLiteral("%1: %2").arg(apperr::kDeviceIo, shown));
        return f;
    }

    void write(const Placed& f, const QByteArray& bytes)
    {
        const int fd = ::openat(f.folder, f.temp.constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) throw AppError(QStringLiteral("%1: %2").arg(WriteFailureText(errno), f.shown));
        if (const int error = WriteAndClose(fd, bytes))
            throw AppError(QStringLiteral("%1: %2").arg(WriteFailureText(error), f.shown));
    }

    // 0, or the errno or -1 (not a file there) of putting `f` in place.
    int place(Placed& f, bool replace, mode_t& found)
    {
        if (!replace) {
            if (::renameat2(f.folder, f.temp.constData(), f.folder, f.name.constData(), RENAME_NOREPLACE) == 0) return 0;
            int error = errno;
            if (error == EINVAL || error == ENOSYS) {  // a file system without it: a link does the same
                error = ::linkat(f.folder, f.temp.constData(), f.folder, f.name.constData(), 0) == 0 ? 0 : errno;
                if (!error) ::unlinkat(f.folder, f.temp.constData(), 0);
            }
            return error;
        }
        for (int attempt = 0; attempt < 3; ++attempt) {
            // Swapped in one step, then the old one looked at: what was there
            // is judged by what it is, not by what it was a moment before.
            if (::renameat2(f.folder, f.temp.constData(), f.folder, f.name.constData(), RENAME_EXCHANGE) == 0) {
                struct stat st {};
                if (::fstatat(f.folder, f.temp.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
                    ::renameat2(f.folder, f.temp.constData(), f.folder, f.name.constData(), RENAME_EXCHANGE);
                    found = st.st_mode;
                    return -1;
                }
                f.old = f.temp;
                return 0;
            }
            if (errno == ENOENT) {  // nothing there: only while there is still nothing
                if (::renameat2(f.folder, f.temp.constData(), f.folder, f.name.constData(), RENAME_NOREPLACE) == 0)
                    return 0;
                if (errno == EEXIST) continue;
                return errno;
            }
            if (errno != EINVAL && errno != ENOSYS) return errno;
            // A file system that cannot swap: looked at just before.
            struct stat st {};
            if (::fstatat(f.folder, f.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
                found = st.st_mode;
                return -1;
            }
            return ::renameat(f.folder, f.temp.constData(), f.folder, f.name.constData()) == 0 ? 0 : errno;
        }
        return EEXIST;
    }

    // Back as it was: the new file out of place, the old one back in it.
    void takeBack(Placed& f)
    {
        if (!f.old.isEmpty()) {
            ::renameat2(f.folder, f.old.constData(), f.folder, f.name.constData(), RENAME_EXCHANGE);
            f.temp = f.old;  // the new file now waits there, removed with the rest
            f.old.clear();
        } else {
            ::unlinkat(f.folder, f.name.constData(), 0);
            f.temp.clear();
        }
        f.inPlace = false;
    }
};

StagedFiles::StagedFiles(FolderRule rule) : files_(std::make_unique<Files>())
{
    files_->rule = std::move(rule);
}

StagedFiles::~StagedFiles()
{
    for (const Placed& f : files_->files) {
        if (!f.temp.isEmpty() && !f.inPlace) ::unlinkat(f.folder, f.temp.constData(), 0);
        if (!f.old.isEmpty()) ::unlinkat(f.folder, f.old.constData(), 0);
        ::close(f.folder);
    }
}

void StagedFiles::add(const QByteArray& bytes, const QString& target, bool replace, const QString& shownAs)
{
    files_->write(files_->stage(target, replace, shownAs), bytes);
}

QString StagedFiles::addForWriter(const QString& target, bool replace, const QString& shownAs)
{
    const Placed& f = files_->stage(target, replace, shownAs);
    // Through the opened folder: the name a writer opens stays in it.
    return QStringLiteral("/proc/self/fd/%1/%2").arg(f.folder).arg(QFile::decodeName(f.temp));
}

void StagedFiles::commit(bool replace)
{
    auto& files = files_->files;
    for (size_t i = 0; i < files.size(); ++i) {
        mode_t found = 0;
        const int error = files_->place(files[i], replace, found);
        if (error == 0) {
            files[i].inPlace = true;
            continue;
        }
        for (size_t k = 0; k < i; ++k) files_->takeBack(files[k]);
        const QString& shown = files[i].shown;
        if (error < 0) throw AppError(NotAFile(shown, found));
        throw AppError(QStringLiteral("%1: %2").arg(error == EEXIST ? apperr::kFileAlreadyExists : WriteFailureText(error), shown));
    }
    // Every one in place: the files they replaced go.
    for (Placed& f : files) {
        if (!f.old.isEmpty()) ::unlinkat(f.folder, f.old.constData(), 0);
        f.old.clear();
        f.temp.clear();
    }
}

}  // namespace marigal
