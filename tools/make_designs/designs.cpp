#include "tools/make_designs/designs.h"

#include "cardgen/catalogue.h"
#include "common/widgets/pointer.h"
#include "tools/docbuild/doc_builder.h"
#include "tools/make_designs/artwork.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

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

// A text box's inner margins as Word keeps them (0.25 cm at the sides,
// 0.13 cm at top and bottom): a picture that fills a frame is this much
// smaller than the frame.
constexpr int kInsetX = 250;
constexpr int kInsetY = 125;

// Pictures are drawn at a resolution that prints well yet keeps the files small.
constexpr double kPageDpi = 200;
constexpr double kSheetDpi = 140;
constexpr double kFrameDpi = 200;

const QString kSerif = QStringLiteral("Liberation Serif");
const QString kSans = QStringLiteral("Liberation Sans");

QSize Inner(const QRect& frame)
{
    return QSize(frame.width() - 2 * kInsetX, frame.height() - 2 * kInsetY);
}

// A message place: centred lines in the design's own look.
TextPlaceContent Message(const QString& text, const QString& font, double points, const QColor& colour,
                         bool bold = false)
{
    TextPlaceContent c;
    c.text = text;
    c.style = ParagraphStyle{font, points, bold, colour, true};
    return c;
}

// A picture frame: a mat of `fill` with a thin `line`, and optionally a
// picture filling it. The empty paragraph is centred, and so is the photo
// put into it later; its small font keeps the line no taller than the photo.
TextPlaceContent Frame(const QColor& fill, const QColor& line, const QImage& picture = QImage(),
                       QSize pictureSize = QSize())
{
    TextPlaceContent c;
    c.style = ParagraphStyle{kSerif, 2, false, QColor(), true};
    c.fill = fill;
    c.line = line;
    c.picture = picture;
    c.pictureSize = pictureSize;
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
    const QRect photo(fold + (kCardW - 9900) / 2, 4900, 9900, 6300);
    const QRect cover(fold + 1000, 11700, kCardW - 2000, 2600);
    const QRect inside(fold + 1000, 9400, kCardW - 2000, 4000);
    c.background(CloudsOutside(sheet.size(), trim, kSheetDpi), sheet, 1);
    c.background(CloudsInside(sheet.size(), trim, inside, kSheetDpi), sheet, 2);
    c.textPlace(QStringLiteral("Text Box 97"), photo,
                Frame(Qt::white, QColor(200, 220, 240), CloudsFramePicture(Inner(photo), kFrameDpi), Inner(photo)),
                1);
    c.textPlace(QStringLiteral("Text Box 106"), cover, Message(QStringLiteral("your message"), kSerif, 26, navy), 1);
    c.textPlace(QStringLiteral("Text Box 20"), inside,
                Message(QStringLiteral("[Type your message here, or print the card and write it by hand]"), kSerif,
                        20, navy),
                2);
}

void Flowers(Card& c)
{
    const QColor rose(192, 80, 106), plum(120, 52, 78), mat(255, 255, 255), edge(227, 166, 180);
    c.page(kCardW, kCardH, 1000);
    c.doc().setTemplateName(QStringLiteral("Flowers"));
    c.background(FlowersPage(QSize(kCardW, kCardH), kPageDpi), QRect(0, 0, kCardW, kCardH));
    c.wordArt(QStringLiteral("WordArt 5"), QRect(1500, 650, 9700, 1600),
              QStringLiteral(" Just waiting to hear from you..."), WordArtStyle{kSerif, true, rose});
    const QRect big(2100, 2600, 8500, 5600);
    const QRect left(1300, 8550, 4900, 2800);
    const QRect right(6500, 8550, 4900, 2800);
    c.textPlace(QStringLiteral("Text Box 14"), big,
                Frame(mat, edge, FlowersFramePicture(Inner(big), 0, kFrameDpi), Inner(big)));
    c.textPlace(QStringLiteral("Text Box 15"), left,
                Frame(mat, edge, FlowersFramePicture(Inner(left), 1, kFrameDpi), Inner(left)));
    c.textPlace(QStringLiteral("Text Box 16"), right,
                Frame(mat, edge, FlowersFramePicture(Inner(right), 2, kFrameDpi), Inner(right)));
    c.textPlace(QStringLiteral("Text Box 8"), QRect(1300, 11700, 10100, 1600),
                Message(QStringLiteral("Write Soon!"), kSerif, 26, rose, true));
    c.textPlace(QStringLiteral("Text Box 3"), QRect(2300, 13300, 8100, 2600),
                Message(QStringLiteral("Your personal message here"), kSerif, 18, plum));
}

void Hearts(Card& c)
{
    const QColor crimson(176, 32, 60);
    c.page(kCardW, kCardH, 1000);
    c.doc().setTemplateName(QStringLiteral("Hearts"));
    const QRect cover(1600, 2000, 9500, 7100);
    c.background(HeartsPage(QSize(kCardW, kCardH), cover, kPageDpi), QRect(0, 0, kCardW, kCardH));
    c.textPlace(QStringLiteral("Text Box 5"), cover,
                Frame(Qt::white, QColor(224, 122, 140), HeartsCover(Inner(cover), kFrameDpi), Inner(cover)));
    const QRect garland(1600, 9450, 9500, 1600);
    c.textPlace(QStringLiteral("Text Box 6"), garland,
                Frame(QColor(), QColor(), HeartsGarland(Inner(garland), kFrameDpi), Inner(garland)));
    c.textPlace(QStringLiteral("Text Box 4"), QRect(1600, 11500, 9500, 3600),
                Message(QStringLiteral("Your personal message here"), kSerif, 22, crimson, true));
}

void Meadow(Card& c)
{
    const QColor green(47, 94, 42);
    c.page(kCardW, kCardH, 1000);
    c.doc().setTemplateName(QStringLiteral("Meadow_"));
    const QRect message(1500, 13100, 9700, 2700);
    c.background(MeadowPage(QSize(kCardW, kCardH), message.adjusted(-300, -350, 300, 250), kPageDpi),
                 QRect(0, 0, kCardW, kCardH));
    c.wordArt(QStringLiteral("WordArt 55"), QRect(1800, 900, 9100, 2300), QStringLiteral("thinking\nof you..."),
              WordArtStyle{kSerif, true, QColor(200, 70, 110)});
    const QRect photo(1700, 4000, 9300, 7000);
    c.textPlace(QStringLiteral("Text Box 33"), photo,
                Frame(Qt::white, QColor(110, 158, 78), MeadowFramePicture(Inner(photo), kFrameDpi), Inner(photo)));
    c.textPlace(QStringLiteral("Text Box 30"), message,
                Message(QStringLiteral("Your personal\nmessage here"), kSerif, 22, green, true));
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
    const QRect photo(1350, 1300, 10000, 7500);
    // A flat shadow under the frame.
    c.shape(QStringLiteral("Rectangle 3"), photo.translated(140, 140), QColor(230, 221, 206));
    c.textPlace(QStringLiteral("Rectangle 27"), photo, Frame(Qt::white, gold));
    c.textPlace(QStringLiteral("Text Box 2"), QRect(1350, 12900, 10000, 3600),
                Message(QStringLiteral("Your personal message here"), kSerif, 24, plum));
}

// The body: the message goes to the bookmark at the start, the photo takes
// the flower's place in the fifth paragraph and is scaled to the text area.
// The wide margin keeps upright photos up to 3:4 on the one page (taller
// ones, scaled to the whole text area, spill over); the border of small
// flowers lives in it, and the text area ends above its strip of meadow.
void YellowFlowerCard(Card& c)
{
    constexpr int kMargin = 2200;
    const QRect border(kMargin, kMargin, kCardW - 2 * kMargin, kCardH - 2 * kMargin);
    const int meadow = YellowMeadowTop(QSize(kCardW, kCardH), border);
    c.page(kCardW, kCardH, kMargin, kCardH - meadow);
    c.doc().setTemplateName(QStringLiteral("YellowFlower"));
    const QRect text(kMargin, kMargin, kCardW - 2 * kMargin, meadow - kMargin);
    DocBuilder& b = c.doc();
    b.addBookmarkAtStart(QStringLiteral("btext"));
    // The message's room: one line of it, and the rest kept as space below,
    // which the card gives back to a longer message (its type made smaller
    // to fit), so that the photo below keeps its place.
    constexpr double kLine = 23;  // points: a line of 20-point bold type
    b.addParagraph(QString(), ParagraphStyle{kSerif, 20, true, QColor(156, 96, 0), true,
                                             kYellowFlowerMessageRoom - kLine});
    // Thin lines between the message and the photo: they take little of the
    // height the photo needs.
    for (int i = 0; i < 3; ++i) b.addParagraph(QString(), ParagraphStyle{kSerif, 2, false, QColor(), true});
    // Its stem reaches down to the meadow.
    const int room = int(std::lround(kYellowFlowerMessageRoom * 2540 / 72));
    const QSize flower(text.width(), text.height() - room - 300);
    b.addInlinePicture(YellowFlower(flower, kPageDpi), flower.width(), flower.height());
    c.background(YellowPage(QSize(kCardW, kCardH), border, kPageDpi), QRect(0, 0, kCardW, kCardH));
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
