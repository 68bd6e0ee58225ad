#include "files.h"

#include "errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSaveFile>

#include <cerrno>
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
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
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

void WriteBytesToFile(const QByteArray& bytes, const QString& path)
{
    if (path.isEmpty()) throw AppError(apperr::kFileNotFound);
    const QFileInfo info(path);
    if (!info.absoluteDir().exists()) throw AppError(apperr::kPathNotFound);
    if (info.isDir()) throw AppError(apperr::kPermissionDenied);
    // Written beside the target and renamed over it: the file is replaced
    // whole, and a failed write leaves the old file as it was.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) throw AppError(apperr::kPermissionDenied);
    if (file.write(bytes) != bytes.size()) {
        const int err = errno;
        file.cancelWriting();
        throw AppError(err == ENOSPC ? apperr::kDiskFull : apperr::kDeviceIo);
    }
    if (!file.commit()) throw AppError(errno == ENOSPC ? apperr::kDiskFull : apperr::kPermissionDenied);
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
    return QCoreApplication::applicationDirPath();
}

QString JoinPath(const QString& folder, const QString& relative)
{
    QString rel = relative;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::toNativeSeparators(folder + QLatin1Char('/') + rel);
}

namespace {

// A folder no one but the user can plant files in or redirect.
bool IsPrivateFolder(const QString& path, bool exactMode)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
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

}  // namespace

QString WorkingFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty() && IsPrivateFolder(temp, false)) return temp;

    // Decided once per TEMP value, so every path of this process agrees.
    static QHash<QString, QString> chosen;
    auto it = chosen.constFind(temp);
    if (it != chosen.constEnd() && IsPrivateFolder(*it, true)) return *it;
    QString base = temp;
    struct stat st {};
    if (base.isEmpty() || ::stat(QFile::encodeName(base).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        base = QDir::tempPath();
    const QString folder = MakePrivateFolder(base);
    chosen.insert(temp, folder);
    return folder;
}

QString WorkPath(const QString& fileName)
{
    return JoinPath(WorkingFolder(), fileName);
}

}  // namespace marigal
