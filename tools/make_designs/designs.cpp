#include "tools/make_designs/designs.h"

#include "cardgen/catalogue.h"
#include "common/widgets/pointer.h"
#include "tools/docbuild/doc_builder.h"
#include "tools/make_designs/artwork.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include <functional>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace marigal::designs {

namespace {

using docbuild::DocBuilder;
using docbuild::ParagraphStyle;
using docbuild::TextPlaceContent;
using docbuild::WordArtStyle;

// A 5 x 7 inch card, in 1/100 mm.
constexpr int kCardW = 12700;
constexpr int kCardH = 17780;

// A text box's inner margins as Word keeps them: a picture that fills a
// frame is this much smaller than the frame.
constexpr int kInsetX = kFrameInsetX;
constexpr int kInsetY = kFrameInsetY;

// Every picture prints at 300 pixels an inch or more, as home printers and
// print shops expect.
constexpr double kArtDpi = 300;

const QString kSerif = QStringLiteral("Liberation Serif");
const QString kSans = QStringLiteral("Liberation Sans");

QSize Inner(const QRect& frame)
{
    return QSize(frame.width() - 2 * kInsetX, frame.height() - 2 * kInsetY);
}

// A message place: centred lines in the design's own look.
TextPlaceContent Message(const QString& text, const QString& font, double points, const QColor& colour,
                         bool bold = false, bool italic = false)
{
    TextPlaceContent c;
    c.text = text;
    c.style = ParagraphStyle{font, points, bold, colour, true, 0, italic};
    return c;
}

// A frame's own picture lies this far below its empty first paragraph
// (points): a photo that fills the frame, put into that paragraph, pushes
// it wholly out of sight, not leaving a sliver of it below the photo.
constexpr double kBelowPhoto = 1.5;
// The height of that paragraph's line and the space, 1/100 mm: the mat
// above the frame's own picture, and as much is kept below it.
constexpr int kAbovePicture = 81 + int(kBelowPhoto * 2540 / 72);

// A picture frame: a mat of `fill` with a thin `line`, and optionally a
// picture of its own, on the mat. The empty paragraph is centred, and so is
// the photo put into it later; its small font keeps the line no taller than
// the photo.
TextPlaceContent Frame(const QColor& fill, const QColor& line,
                       const std::function<QImage(QSize, double)>& picture = {}, const QRect& frame = QRect())
{
    TextPlaceContent c;
    c.style = ParagraphStyle{kSerif, 2, false, QColor(), true};
    c.fill = fill;
    c.line = line;
    if (picture) {
        c.pictureSize = Inner(frame) - QSize(0, 2 * kAbovePicture);
        c.picture = picture(c.pictureSize, kArtDpi);
        c.spaceAbovePicture = kBelowPhoto;
    }
    return c;
}

// Builds a design and notes where its named objects go.
class Card {
public:
    Card(DocBuilder& builder, DesignInfo& info) : b_(builder), info_(info) {}

    void page(int width, int height, int margin, int bottomMargin = -1)
    {
        b_.setPage(width, height, margin, bottomMargin);
        info_.page = QSize(width, height);
    }
    // For what needs no notes: page settings, body text, inline pictures.
    DocBuilder& doc() { return b_; }
    void textPlace(const QString& name, const QRect& area, const TextPlaceContent& content, int page = 1)
    {
        b_.addTextPlace(name, Checked(area), content, page);
        info_.objects.push_back({name, area, page});
    }
    void shape(const QString& name, const QRect& area, const QColor& fill, const QColor& line = QColor(),
               int page = 1)
    {
        b_.addShape(name, Checked(area), fill, line, page);
        info_.objects.push_back({name, area, page});
    }
    void wordArt(const QString& name, const QRect& area, const QString& text, const WordArtStyle& style,
                 int page = 1)
    {
        b_.addWordArt(name, Checked(area), text, style, page);
        info_.objects.push_back({name, area, page});
    }
    void background(const QImage& picture, const QRect& area, int page = 1)
    {
        b_.addBackgroundPicture(picture, area, page);
    }

private:
    // The Word round trip moves a floating shape 1.5 cm wide or high, or
    // less, to the page's top left corner: thin lines and small marks go into
    // the pictures instead.
    static const QRect& Checked(const QRect& area)
    {
        if (std::min(area.width(), area.height()) < 1600)
            throw std::logic_error("shape too small to keep its place in a Word file");
        return area;
    }

    DocBuilder& b_;
    DesignInfo& info_;
};

// ---------------------------------------------------------------------------

// A folded card: a US Letter sheet across, printed on both sides, cut to
// 10 x 7 inches and folded to 5 x 7. Page 1 is the outside (back cover left,
// front cover right), page 2 the inside.
void Clouds(Card& c)
{
    constexpr int kSheetW = 27940, kSheetH = 21590;
    const QRect trim(1270, 1905, 25400, 17780);
    const int fold = trim.left() + trim.width() / 2;
    const QColor navy(46, 77, 123);

    c.page(kSheetW, kSheetH, 500);
    c.doc().setTemplateName(QStringLiteral("Clouds"));
    // The instructions lie above the cut, so they do not show on the card.
    c.doc().addParagraph(
        QStringLiteral("To make your card: print page 1, then turn the sheet over and print page 2 on its back (for "
                       "two-sided printing, flip on the short edge). Cut along the corner marks to 10 x 7 inches and "
                       "fold in half to a 5 x 7 inch card."),
        ParagraphStyle{kSans, 8, false, QColor(110, 123, 139), false});
    c.doc().addPageBreak();

    const QRect sheet(0, 0, kSheetW, kSheetH);
    const QSize frame = kPhotoFrames[1];
    const QRect photo(fold + (kCardW - frame.width()) / 2, 4900, frame.width(), frame.height());
    const QRect cover(fold + 1000, 11700, kCardW - 2000, 2600);
    const QRect inside(fold + 1000, 9400, kCardW - 2000, 4000);
    c.background(CloudsOutside(sheet.size(), trim, kArtDpi), sheet, 1);
    c.background(CloudsInside(sheet.size(), trim, inside, kArtDpi), sheet, 2);
    c.textPlace(QStringLiteral("Text Box 97"), photo, Frame(Qt::white, QColor(200, 220, 240), CloudsFramePicture, photo),
                1);
    c.textPlace(QStringLiteral("Text Box 106"), cover, Message(QStringLiteral("your message"), kBrushFace, 28, navy), 1);
    c.textPlace(QStringLiteral("Text Box 20"), inside,
                Message(QStringLiteral("[Type your message here, or print the card and write it by hand]"), kRoundFace,
                        18, navy),
                2);
}

void Flowers(Card& c)
{
    const QColor rose(192, 80, 106), plum(120, 52, 78), mat(255, 255, 255), edge(227, 166, 180);
    c.page(kCardW, kCardH, 1000);
    c.doc().setTemplateName(QStringLiteral("Flowers"));
    const QRect title(2000, 650, 8700, 1750);
    const QRect big(QPoint((kCardW - kPhotoFrames[4].width()) / 2, 2650), kPhotoFrames[4]);
    const QRect left(QPoint(1300, 8550), kFlowersSmallFrame);
    const QRect right(QPoint(kCardW - 1300 - kFlowersSmallFrame.width(), 8550), kFlowersSmallFrame);
    const QRect writeSoon(1300, 11600, 10100, 1600);
    const QRect message(2500, 13250, 7700, 2500);
    // The flowers keep clear of every word on the page.
    c.background(FlowersPage(QSize(kCardW, kCardH), {title, writeSoon, message}, kArtDpi),
                 QRect(0, 0, kCardW, kCardH));
    c.wordArt(QStringLiteral("WordArt 5"), title, QStringLiteral(" Just waiting to hear from you..."),
              WordArtStyle{kScriptFace, true, rose, true});
    const auto flowers = [](int variant) {
        return [variant](QSize size, double dpi) { return FlowersFramePicture(size, variant, dpi); };
    };
    c.textPlace(QStringLiteral("Text Box 14"), big, Frame(mat, edge, flowers(0), big));
    c.textPlace(QStringLiteral("Text Box 15"), left, Frame(mat, edge, flowers(1), left));
    c.textPlace(QStringLiteral("Text Box 16"), right, Frame(mat, edge, flowers(2), right));
    c.textPlace(QStringLiteral("Text Box 8"), writeSoon, Message(QStringLiteral("Write Soon!"), kScriptFace, 30, rose, true));
    c.textPlace(QStringLiteral("Text Box 3"), message,
                Message(QStringLiteral("Your personal message here"), kBookFace, 19, plum, false, true));
}

void Hearts(Card& c)
{
    const QColor crimson(176, 32, 60);
    c.page(kCardW, kCardH, 1000);
    c.doc().setTemplateName(QStringLiteral("Hearts"));
    const QRect cover(QPoint(1600, 2000), kPhotoFrames[2]);
    const QRect message(1600, 11500, 9500, 3600);
    c.background(HeartsPage(QSize(kCardW, kCardH), cover, message, kArtDpi), QRect(0, 0, kCardW, kCardH));
    c.textPlace(QStringLiteral("Text Box 5"), cover, Frame(Qt::white, QColor(224, 122, 140), HeartsCover, cover));
    const QRect garland(1600, 9450, 9500, 1600);
    TextPlaceContent hanging = Frame(QColor(), QColor());
    hanging.pictureSize = Inner(garland);
    hanging.picture = HeartsGarland(hanging.pictureSize, kArtDpi);
    c.textPlace(QStringLiteral("Text Box 6"), garland, hanging);
    c.textPlace(QStringLiteral("Text Box 4"), message,
                Message(QStringLiteral("Your personal message here"), kScriptFace, 26, crimson, true));
}

void Meadow(Card& c)
{
    const QColor green(47, 94, 42);
    c.page(kCardW, kCardH, 1000);
    c.doc().setTemplateName(QStringLiteral("Meadow_"));
    const QRect message(1500, 13100, 9700, 2700);
    const QRect title(1800, 800, 9100, 2400);
    c.background(MeadowPage(QSize(kCardW, kCardH), message.adjusted(-300, -350, 300, 250), title, kArtDpi),
                 QRect(0, 0, kCardW, kCardH));
    c.wordArt(QStringLiteral("WordArt 55"), title, QStringLiteral("thinking\nof you..."),
              WordArtStyle{kDisplayFace, false, QColor(200, 70, 110), true});
    const QRect photo(QPoint((kCardW - kPhotoFrames[3].width()) / 2, 4000), kPhotoFrames[3]);
    c.textPlace(QStringLiteral("Text Box 33"), photo, Frame(Qt::white, QColor(110, 158, 78), MeadowFramePicture, photo));
    c.textPlace(QStringLiteral("Text Box 30"), message,
                Message(QStringLiteral("Your personal\nmessage here"), kSansFace, 21, green, true));
}

// No pictures: the card is made of coloured shapes alone.
void PhotoGreetingCard(Card& c)
{
    const QColor ivory(251, 247, 240), gold(200, 164, 106), rose(212, 136, 140), plum(122, 62, 72);
    c.page(kCardW, kCardH, 1000);
    c.doc().setTemplateName(QStringLiteral("06087306.dot"));
    c.shape(QStringLiteral("Rectangle 1"), QRect(0, 0, kCardW, kCardH), ivory);
    c.shape(QStringLiteral("Rectangle 2"), QRect(450, 450, kCardW - 900, kCardH - 900), QColor(), gold);
    // A ribbon across the card: a rose band on a slightly wider gold one.
    c.shape(QStringLiteral("Rectangle 5"), QRect(0, 9700, kCardW, 1800), gold);
    c.shape(QStringLiteral("Rectangle 4"), QRect(0, 9800, kCardW, 1600), rose);
    const QRect photo(QPoint((kCardW - kPhotoFrames[0].width()) / 2, 1300), kPhotoFrames[0]);
    // A flat shadow under the frame.
    c.shape(QStringLiteral("Rectangle 3"), photo.translated(140, 140), QColor(230, 221, 206));
    c.textPlace(QStringLiteral("Rectangle 27"), photo, Frame(Qt::white, gold));
    c.textPlace(QStringLiteral("Text Box 2"), QRect(1350, 12900, 10000, 3600),
                Message(QStringLiteral("Your personal message here"), kScriptFace, 28, plum, true));
}

// The body: the message goes to the bookmark at the start, the photo takes
// the flower's place in the fifth paragraph, as large as the room left
// between the message and the meadow; the border of small flowers lives in
// the wide margin, and the text area ends above its strip of meadow.
void YellowFlowerCard(Card& c)
{
    constexpr int kMargin = 2200;
    const QRect border(kMargin, kMargin, kCardW - 2 * kMargin, kCardH - 2 * kMargin);
    const int meadow = YellowMeadowTop(QSize(kCardW, kCardH), border);
    c.page(kCardW, kCardH, kMargin, kCardH - meadow);
    c.doc().setTemplateName(QStringLiteral("YellowFlower"));
    DocBuilder& b = c.doc();
    b.addBookmarkAtStart(QStringLiteral("btext"));
    // The message's room: one line of it, and the rest kept as space below,
    // which the card gives back to a longer message (its type made smaller
    // to fit), so that the photo below keeps its place.
    constexpr double kLine = 36;  // points: a line of 22-point brush script, with room to spare
    b.addParagraph(QString(), ParagraphStyle{kBrushFace, 22, false, QColor(156, 96, 0), true,
                                             kYellowFlowerMessageRoom - kLine});
    // Thin lines between the message and the photo: they take little of the
    // height the photo needs.
    for (int i = 0; i < 3; ++i) b.addParagraph(QString(), ParagraphStyle{kSerif, 2, false, QColor(), true});
    // Its stem reaches down to the meadow.
    const QSize flower = kYellowFlowerPhotoRoom;
    b.addInlinePicture(YellowFlower(flower, kArtDpi), flower.width(), flower.height());
    c.background(YellowPage(QSize(kCardW, kCardH), border, kArtDpi), QRect(0, 0, kCardW, kCardH));
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error(("cannot write " + path).toStdString());
}

void SaveImage(const QImage& image, const QString& path, const char* format, int quality = -1)
{
    QDir().mkpath(QFileInfo(path).path());
    QImageWriter writer(path, format);
    if (quality >= 0) writer.setQuality(quality);
    if (!writer.write(image)) throw std::runtime_error(("cannot write " + path).toStdString());
}

}  // namespace

QString DesignFile(int id)
{
    return QStringLiteral("designs/design%1.dot").arg(id);
}

DesignInfo BuildDesign(engine::lo::OfficeSession& session, int id, const QString& path)
{
    DocBuilder b(session);
    DesignInfo info;
    Card c(b, info);
    switch (id) {
    case 101: Clouds(c); break;
    case 102: Flowers(c); break;
    case 103: Hearts(c); break;
    case 104: Meadow(c); break;
    case 105: PhotoGreetingCard(c); break;
    case 106: YellowFlowerCard(c); break;
    default: throw std::invalid_argument("no design " + std::to_string(id));
    }
    b.saveAs(path, docbuild::Format::Dot);
    b.close();
    return info;
}

void WriteProgramPictures(const QString& folder)
{
    const QDir dir(folder);
    for (const int size : {32, 48, 128, 256})
        SaveImage(AppIcon(size), dir.filePath(QStringLiteral("icon/marigal-%1.png").arg(size)), "png");
    WriteFile(dir.filePath(QStringLiteral("HAND-M.CUR")), EncodeCursorFile(HandPointer(), kHandHotSpot));
    SaveImage(SamplePhoto(), dir.filePath(QStringLiteral("Samples/sample1.jpg")), "jpeg", 90);
}

void WriteAll(engine::lo::OfficeSession& session, const QString& folder)
{
    const QDir dir(folder);
    for (const int id : kDesignIds) {
        const QString path = dir.filePath(DesignFile(id));
        QDir().mkpath(QFileInfo(path).path());
        BuildDesign(session, id, path);
    }
    WriteProgramPictures(folder);
}

}  // namespace marigal::designs
