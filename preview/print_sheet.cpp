#include "preview/print_sheet.h"

#include "common/errors.h"

#include <QFile>
#include <QImage>
#include <QPageSize>

#include <algorithm>
#include <memory>
#include <vector>

#include <cups/cups.h>
#include <poppler-qt6.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

namespace marigal {

namespace {

constexpr double kMm = 72 / 25.4;
// A PDF's page sizes come rounded; a card that fits but for this, fits.
constexpr double kSlack = 0.5;
// Crop marks: hairlines on the lines of the card's edges, clear of its corners.
constexpr double kMarkGap = 3 * kMm;
constexpr double kMarkLength = 8 * kMm;
constexpr double kMarkWidth = 0.25;
// The card whose page is the card itself, cut along its edges.
constexpr double kCardShort = 5 * 72, kCardLong = 7 * 72;

bool Within(QSizeF inner, QSizeF outer)
{
    return inner.width() <= outer.width() + kSlack && inner.height() <= outer.height() + kSlack;
}

bool IsCardSized(QSizeF page)
{
    const double shorter = std::min(page.width(), page.height()), longer = std::max(page.width(), page.height());
    return std::abs(shorter - kCardShort) < 2 && std::abs(longer - kCardLong) < 2;
}

QString Number(double v)
{
    return QString::number(v, 'f', 4);  // always a point for the decimals, as PDF wants
}

QPDFObjectHandle::Rectangle Normalised(const QPDFObjectHandle::Rectangle& r)
{
    return {std::min(r.llx, r.urx), std::min(r.lly, r.ury), std::max(r.llx, r.urx), std::max(r.lly, r.ury)};
}

// The marks outside the four corners of `card` (the sheet's PDF space, y up).
QString CropMarks(const QRectF& card)
{
    QString s = QStringLiteral("q 0 G %1 w 0 J [] 0 d\n").arg(Number(kMarkWidth));
    const auto line = [&](double x1, double y1, double x2, double y2) {
        s += QStringLiteral("%1 %2 m %3 %4 l S\n").arg(Number(x1), Number(y1), Number(x2), Number(y2));
    };
    for (const double x : {card.left(), card.right()}) {
        for (const double y : {card.top(), card.bottom()}) {
            const double dx = x == card.left() ? -1 : 1, dy = y == card.top() ? -1 : 1;
            line(x + dx * kMarkGap, y, x + dx * (kMarkGap + kMarkLength), y);
            line(x, y + dy * kMarkGap, x, y + dy * (kMarkGap + kMarkLength));
        }
    }
    return s + QStringLiteral("Q\n");
}

}  // namespace

bool FitsOnPaper(QSizeF page, QSizeF paper)
{
    return Within(page, paper) || Within(page, paper.transposed());
}

SheetPlacement PlaceOnSheet(QSizeF page, QRectF content, QSizeF paper)
{
    // The paper the way round the card's page is first: a card across goes
    // on a sheet across when it fits either way.
    const QSizeF upright(std::min(paper.width(), paper.height()), std::max(paper.width(), paper.height()));
    const bool across = page.width() > page.height();
    const QSizeF same = across ? upright.transposed() : upright, other = same.transposed();
    SheetPlacement place;
    const auto centre = [&](QSizeF sheet) { return QPointF(sheet.width() / 2, sheet.height() / 2); };

    if (FitsOnPaper(page, paper)) {
        place.sheet = Within(page, same) ? same : other;
        place.origin = centre(place.sheet) - centre(page);
        // Marks only for a page that is the card, with room for them; a
        // larger page carries its own.
        const double room = kMarkGap + kMarkLength;
        place.cropMarks = IsCardSized(page) && place.origin.x() >= room && place.origin.y() >= room;
        return place;
    }
    // The page is larger than the paper: what it draws goes in the middle,
    // the same for every page, so that the front and the inside meet.
    if (content.isEmpty()) content = QRectF(QPointF(), page);
    if (Within(content.size(), same) || Within(content.size(), other)) {
        place.sheet = Within(content.size(), same) ? same : other;
        place.origin = centre(place.sheet) - content.center();
        return place;
    }
    // Even that is larger: smaller, as little as it must be.
    const auto fit = [&](QSizeF sheet) {
        return std::min(sheet.width() / content.width(), sheet.height() / content.height());
    };
    place.sheet = fit(same) >= fit(other) ? same : other;
    place.scale = fit(place.sheet);
    place.origin = centre(place.sheet) - content.center() * place.scale;
    return place;
}

QSizeF MediaSize(const QString& media)
{
    if (media.isEmpty()) return {};
    for (int id = 0; id <= QPageSize::LastPageSize; ++id) {
        const auto size = QPageSize::PageSizeId(id);
        if (size != QPageSize::Custom && QPageSize::key(size).compare(media, Qt::CaseInsensitive) == 0)
            return QPageSize::size(size, QPageSize::Point);
    }
    // The printing system's own names for its paper.
    const QByteArray name = media.toUtf8();
    pwg_media_t* pwg = pwgMediaForPWG(name.constData());
    if (!pwg) pwg = pwgMediaForPPD(name.constData());
    if (!pwg) pwg = pwgMediaForLegacy(name.constData());
    if (!pwg) return {};
    return QSizeF(pwg->width, pwg->length) * (72 / 2540.0);
}

QRectF DrawnContent(const QString& pdf)
{
    // 72 dots an inch: a dot is a point, finer than the centring needs.
    constexpr double kDpi = 72;
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdf);
    if (!doc || doc->isLocked()) return {};
    QRectF drawn;
    QSizeF page;
    for (int i = 0; i < doc->numPages(); ++i) {
        const std::unique_ptr<Poppler::Page> p = doc->page(i);
        if (!p) continue;
        page = page.expandedTo(p->pageSizeF());
        const QImage image = p->renderToImage(kDpi, kDpi).convertToFormat(QImage::Format_RGB32);
        int left = image.width(), right = -1, top = image.height(), bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = row[x];
                if (qRed(c) >= 250 && qGreen(c) >= 250 && qBlue(c) >= 250) continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        if (right >= 0) drawn |= QRectF(left, top, right - left + 1, bottom - top + 1);
    }
    return drawn.isEmpty() ? QRectF(QPointF(), page) : drawn;
}

void ComposeSheets(const QString& pdf, QSizeF paper, const QString& target)
{
    const auto failed = [](const QString& why) {
        return AppError(QStringLiteral("The card could not be printed: its pages could not be laid out on the paper (%1).")
                            .arg(why));
    };
    try {
        QPDF card;
        card.setSuppressWarnings(true);  // a file it mends as it reads is no fault of the print
        card.processFile(QFile::encodeName(pdf).constData());
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(card).getAllPages();
        if (pages.empty()) throw failed(QStringLiteral("the card has no pages"));
        // Each page as it shows, turned pages turned for good, so that the
        // sizes here are those poppler measures the drawing in.
        std::vector<QPDFObjectHandle::Rectangle> boxes;
        QSizeF size;
        for (QPDFPageObjectHelper& page : pages) {
            page.flattenRotation();
            boxes.push_back(Normalised(page.getCropBox().getArrayAsRectangle()));
            size = size.expandedTo(QSizeF(boxes.back().urx - boxes.back().llx, boxes.back().ury - boxes.back().lly));
        }
        if (paper.isEmpty()) paper = size;
        const SheetPlacement place = PlaceOnSheet(size, FitsOnPaper(size, paper) ? QRectF() : DrawnContent(pdf), paper);
        const double s = place.scale, height = place.sheet.height();

        QPDF print;
        print.emptyPDF();
        QPDFPageDocumentHelper sheets(print);
        for (size_t i = 0; i < pages.size(); ++i) {
            const QPDFObjectHandle::Rectangle& box = boxes[i];
            // The whole page, not its trim box alone: the office's notes
            // outside the cut are for the one who prints.
            QPDFObjectHandle form = pages[i].getFormXObjectForPage(false);
            form.getDict().replaceKey("/BBox", QPDFObjectHandle::newArray(box));
            QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
            xobjects.replaceKey("/Card", print.copyForeignObject(form));
            QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
            resources.replaceKey("/XObject", xobjects);

            // The page's top left corner to the origin; y runs up in PDF.
            const double tx = place.origin.x() - s * box.llx, ty = height - place.origin.y() - s * box.ury;
            QString content = QStringLiteral("q %1 0 0 %1 %2 %3 cm /Card Do Q\n").arg(Number(s), Number(tx), Number(ty));
            if (place.cropMarks)
                content += CropMarks(QRectF(QPointF(place.origin.x(), height - place.origin.y() - size.height()), size));

            QPDFObjectHandle sheet = QPDFObjectHandle::newDictionary();
            sheet.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
            sheet.replaceKey("/MediaBox", QPDFObjectHandle::newArray(
                                              QPDFObjectHandle::Rectangle(0, 0, place.sheet.width(), height)));
            sheet.replaceKey("/Resources", resources);
            sheet.replaceKey("/Contents", print.newStream(content.toStdString()));
            sheets.addPage(QPDFPageObjectHelper(print.makeIndirectObject(sheet)), false);
        }
        QPDFWriter writer(print, QFile::encodeName(target).constData());
        // The card's own streams go as they are: nothing is gained by
        // unpacking its pictures to pack them again.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.write();
    } catch (const AppError&) {
        throw;
    } catch (const std::exception& e) {
        throw failed(QString::fromLocal8Bit(e.what()));
    }
}

}  // namespace marigal
