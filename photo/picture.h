#pragma once
// Picture files: what kind a file is (told by its content, never its name),
// opening one without blocking, and decoding it.

#include "common/errors.h"

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QSize>
#include <QString>

#include <cstdio>
#include <memory>

namespace marigal {

enum class PictureKind {
    None,  // no picture this program knows of
    Jpeg,
    Png,
    Bmp,
    Gif,
    Tiff,
    WebP,
    Heif,  // HEIC, HEIF: the pictures of today's phones
    Avif,
    Unreadable,  // a picture of a kind this program does not read; see PictureFile::kindName
};

// The kind the first bytes of a file tell (32 are enough); `name` gets a
// kind's everyday name, for the unreadable ones too ("JPEG XL").
PictureKind SniffPicture(const QByteArray& head, QString* name = nullptr);

// The patterns of every kind this program reads, for a file dialog
// ("*.jpg;*.jpeg;...").
QString PicturePatterns();

// What may be wrong with a picture file that the word processor, given
// it, would say in its own words; the description is the platform's text
// for the same fault ("File not found", "Permission denied", "Invalid
// picture").
enum class PhotoProblem { NotFound, Unreadable, NotAPicture, TooLarge };

class PhotoError : public AppError {
public:
    explicit PhotoError(PhotoProblem problem);
    PhotoProblem problem() const { return problem_; }

private:
    PhotoProblem problem_;
};

// A picture file, opened for reading without blocking (a named pipe or a
// device would block or never end), and only when it is a regular file.
// Raises PhotoError: NotFound when it is missing, Unreadable when it
// cannot be read, NotAPicture for anything but a regular file.
class PictureFile {
public:
    explicit PictureFile(const QString& path);
    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    const QString& path() const { return path_; }
    PictureKind kind() const { return kind_; }
    const QString& kindName() const { return kindName_; }
    qint64 size() const { return size_; }
    // The open file, read from its start.
    std::FILE* stream();
    int descriptor();
    // The whole file.
    QByteArray readAll();

private:
    QString path_;
    int fd_ = -1;
    std::FILE* stream_ = nullptr;
    PictureKind kind_ = PictureKind::None;
    QString kindName_;
    qint64 size_ = 0;
};

// What a picture file's header tells, read without decoding it.
struct PictureHeader {
    PictureKind kind = PictureKind::None;
    QSize size;  // as stored
    // What turns the stored pixels upright (a camera's orientation tag).
    QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone;
};

// A file larger than this is no camera's photo.
inline constexpr qint64 kMaxPhotoBytes = qint64(1) << 30;

// A photo larger than this is refused before it is decoded: far beyond any
// camera's, and its pixels alone would take gigabytes.
// (200 megapixels, as a camera counts them: its sensor's 16320 x 12240 and
// the like, a little over or under).
inline constexpr qint64 kMostPhotoPixels = 200'500'000;
inline constexpr int kMostPhotoSide = 32768;

// The size the picture's header gives (as stored, before any turn), read
// without decoding it; an empty size when it gives none. Raises AppError
// naming the file when it is larger than kMostPhotoPixels or
// kMostPhotoSide: "The photo is too large (32256 × 32256 pixels; Marigal
// takes up to 200 megapixels): PATH".
QSize CheckedSize(PictureFile& file);

// The header of the picture file at `path`, for a program that hands the
// file on (the word processor decodes it): only a regular file whose header
// Qt's readers take. Raises PhotoError.
PictureHeader InspectPicture(const QString& path);

// The texts of a picture that cannot be used, naming its file.
QString DamagedPictureText(const QString& path);
QString UnreadableKindText(const QString& kindName, const QString& path);

// A picture of a kind Qt's readers take (PNG, BMP, GIF, TIFF, WebP),
// upright. With `fitInto`, one too large to decode in full for a small copy
// is checked by its header only, and a plain stand-in of the fitting size is
// returned. With `mostPixels`, a larger picture is read at that many pixels
// (its proportions kept). Raises PhotoError (NotAPicture, or TooLarge beyond
// 512 MB of pixels), or AppError naming the file when it is damaged.
QImage DecodeWithQt(PictureFile& file, QSize fitInto = QSize(), qint64 mostPixels = 0);

// A PNG read a row at a time into a copy of at most `mostPixels` pixels (each
// the mean of the ones it stands for), as 8-bit RGBA: a photo of 200
// megapixels never held whole. A null image for an interlaced PNG, whose
// rows do not come one by one. Raises AppError naming the file when it is
// damaged.
QImage ReadPngShrunk(PictureFile& file, qint64 mostPixels);

// A HEIF or AVIF picture decoded whole, upright (the turns its file records
// applied), as 8-bit RGB or, with transparency, RGBA; `iccProfile` gets its
// colour profile. With `fitInto`, a thumbnail the file holds is taken
// instead when it is at least that large; with none, the file's header is
// taken on its word and a plain stand-in of the fitting size is returned (a
// whole photo takes seconds to decode). Raises AppError: damaged, or a
// picture its decoders cannot read.
QImage DecodeHeif(PictureFile& file, QSize fitInto = QSize(), QByteArray* iccProfile = nullptr);

// A HEIF or AVIF picture decoded whole as JPEG's own colours (YCbCr of
// BT.601 at full range, chroma at half size both ways), when it is opaque
// and its file names those colours or none; otherwise an empty result, for
// DecodeHeif to take. Raises AppError as DecodeHeif.
struct YCbCrPicture {
    std::shared_ptr<const void> holder;  // the decoder's pixels
    int width = 0, height = 0;
    const unsigned char* planes[3]{};
    int strides[3]{};
};
YCbCrPicture DecodeHeifYCbCr(PictureFile& file, QByteArray* iccProfile);

// Decodes a picture file, upright (a camera's orientation applied). With
// `fitInto`, only as many pixels are decoded as a picture of that size
// needs where the format allows (a JPEG of 200 megapixels for a thumbnail
// costs a fraction of its full size); a picture of another format too large
// to decode whole is checked by its header only, and a plain stand-in of the
// fitting size is returned.
// Raises PhotoError (with "File not found", "Permission denied" or "Invalid
// picture"), and AppError with a text naming the file when it is damaged or
// of a kind not read here.
QImage LoadPicture(const QString& path, QSize fitInto = QSize());

// The stored pixels of a camera's photo turned as Exif orientation 1..8 asks.
QImage Upright(const QImage& stored, int orientation);

}  // namespace marigal
