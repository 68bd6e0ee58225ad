#include "common/widgets/pointer.h"

#include "common/errors.h"
#include "common/widgets/look.h"

#include <QBuffer>
#include <QEvent>
#include <QFile>
#include <QPixmap>
#include <QWidget>
#include <QtEndian>

namespace marigal {

QCursor CursorFor(MousePointer pointer, const std::optional<QCursor>& hand)
{
    switch (pointer) {
    case MousePointer::Hourglass: return QCursor(Qt::WaitCursor);
    case MousePointer::Custom: return hand ? *hand : QCursor(Qt::PointingHandCursor);
    case MousePointer::Default: break;
    }
    return QCursor(Qt::ArrowCursor);
}

std::optional<MousePointer> PointerForMove(QObject* watched, QEvent* event,
                                           std::initializer_list<const QObject*> buttons, MousePointer current)
{
    if (event->type() != QEvent::MouseMove) return std::nullopt;
    for (const QObject* button : buttons)
        if (watched == button) return PointerOverButton(current);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && MovedOnItself(widget, event)) return PointerOverBackground(current);
    return std::nullopt;
}

namespace {
quint16 U16(const QByteArray& d, int at) { return qFromLittleEndian<quint16>(d.constData() + at); }
quint32 U32(const QByteArray& d, int at) { return qFromLittleEndian<quint32>(d.constData() + at); }
void Put16(QByteArray& d, quint16 v) { char b[2]; qToLittleEndian(v, b); d.append(b, 2); }
void Put32(QByteArray& d, quint32 v) { char b[4]; qToLittleEndian(v, b); d.append(b, 4); }
}  // namespace

QCursor LoadCursorFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw AppError(apperr::kFileNotFound);
    QByteArray data = f.readAll();
    // Header: reserved 0, type 2 (cursor), image count; then 16-byte entries.
    if (data.size() < 22 || U16(data, 0) != 0 || U16(data, 2) != 2 || U16(data, 4) == 0)
        throw AppError(apperr::kInvalidPicture);
    const int hotX = U16(data, 10), hotY = U16(data, 12);
    const quint32 size = U32(data, 14), offset = U32(data, 18);
    if (offset < 22 || size == 0 || quint64(offset) + size > quint64(data.size()))
        throw AppError(apperr::kInvalidPicture);
    QImage image;
    if (data.mid(offset, 8) == QByteArray("\x89PNG\r\n\x1a\n", 8)) {
        image = QImage::fromData(data.mid(offset, size), "PNG");
    } else {
        // The same layout as an icon, but for the type and the hot spot that
        // stands where an icon keeps its planes and bit count.
        if (size < 40) throw AppError(apperr::kInvalidPicture);
        QByteArray ico = data;
        qToLittleEndian<quint16>(1, ico.data() + 2);
        qToLittleEndian<quint16>(1, ico.data() + 10);
        qToLittleEndian<quint16>(U16(data, offset + 14), ico.data() + 12);
        image = QImage::fromData(ico, "ICO");
    }
    if (image.isNull()) throw AppError(apperr::kInvalidPicture);
    return QCursor(QPixmap::fromImage(image), qMin(hotX, image.width() - 1), qMin(hotY, image.height() - 1));
}

QByteArray EncodeCursorFile(const QImage& source, QPoint hotSpot)
{
    const QImage img = source.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    const int maskStride = ((w + 31) / 32) * 4;
    const quint32 imageSize = quint32(w * h * 4 + maskStride * h);

    QByteArray out;
    Put16(out, 0);
    Put16(out, 2);
    Put16(out, 1);
    out.append(char(w >= 256 ? 0 : w));
    out.append(char(h >= 256 ? 0 : h));
    out.append(char(0));
    out.append(char(0));
    Put16(out, quint16(hotSpot.x()));
    Put16(out, quint16(hotSpot.y()));
    Put32(out, 40 + imageSize);
    Put32(out, 22);
    // Bitmap header: the height counts the colour rows and the mask rows.
    Put32(out, 40);
    Put32(out, quint32(w));
    Put32(out, quint32(h * 2));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);
    Put32(out, imageSize);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) Put32(out, line[x]);  // BGRA in memory order
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) == 0) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out.append(row);
    }
    return out;
}

}  // namespace marigal
