#include "shell/photo_input.h"

#include "common/errors.h"
#include "common/files.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>
#include <QStandardPaths>
#include <QUrl>

namespace marigal {

namespace {
const QString kPastedPrefix = QStringLiteral("pasted-");
}  // namespace

QString LocalPhotoPath(const QMimeData& data)
{
    for (const QUrl& url : data.urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) return url.toLocalFile();
    const QString text = data.text().trimmed();
    if (text.isEmpty() || text.contains(QLatin1Char('\n'))) return {};
    if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(text);
        return url.isLocalFile() ? url.toLocalFile() : QString();
    }
    return QDir::isAbsolutePath(text) ? QDir::cleanPath(text) : QString();
}

QString PastedPhotoFolder()
{
    return JoinPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                    QStringLiteral("marigal/pasted"));
}

QString KeepPastedPicture(const QImage& picture, const QString& folder)
{
    if (picture.isNull()) throw AppError(apperr::kInvalidPicture);
    if (!QDir().mkpath(folder)) throw AppError(apperr::kPathNotFound);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture)) throw AppError(apperr::kInvalidPicture);
    const QString name = kPastedPrefix + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) +
                         QStringLiteral(".png");
    const QString path = JoinPath(folder, name);
    WriteNewFile(png, path);
    const QStringList earlier = QDir(folder).entryList({kPastedPrefix + QStringLiteral("*.png")}, QDir::Files);
    for (const QString& old : earlier)
        if (old != name) QFile::remove(JoinPath(folder, old));
    return path;
}

}  // namespace marigal
