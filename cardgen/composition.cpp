#include "cardgen/composition.h"

#include "cardgen/catalogue.h"
#include "cardgen/wordart.h"

#include <QRectF>

#include <cmath>

namespace marigal {

using engine::Arg;
using engine::Object;
using engine::Value;

QString EngineText(const QString& message)
{
    QString out;
    out.reserve(message.size());
    for (const QChar c : message) {
        const char16_t u = c.unicode();
        if (u == u'\v' || u == u'\f') out += QChar(u'\v');
        else if (u >= 0x20 || u == u'\t' || u == u'\r' || u == u'\n') out += c;
    }
    return out;
}

void Composer::SelectShape(int line, const char16_t* name)
{
    s_(line, [&] { word_.obj(u"ActiveDocument").obj(u"Shapes", {Value::string(name)}).call(u"Select"); });
}

void Composer::TakeSelection(int line)
{
    s_(line, [&] { selection_ = word_.obj(u"ActiveDocument").obj(u"Application").obj(u"Selection"); });
}

void Composer::ReleaseSelection(int line)
{
    s_(line, [&] { selection_.release(); });
}

void Composer::AddPicture(int line, const Object& selection, int place)
{
    s_(line, [&] {
        selection.obj(u"InlineShapes")
            .call(u"AddPicture", {Arg(u"filename", Value::string(photoPath_(place))),
                                  Arg(u"LinkToFile", Value::boolean(false)),
                                  Arg(u"SaveWithDocument", Value::boolean(true))});
    });
}

void Composer::FillFrame(int line, TextRangeStep textRange, int place)
{
    TakeSelection(line);
    if (textRange == TextRangeStep::Yes) {
        s_(line, [&] { selection_.path(u"ShapeRange.TextFrame.TextRange").call(u"Select"); });
        s_(line, [&] { selection_.call(u"Collapse"); });
    }
    AddPicture(line, selection_, place);
    s_(line, [&] { selection_.obj(u"ShapeRange").call(u"Select"); });
    s_(line, [&] { selection_.call(u"Collapse"); });
}

void Composer::TypeMessage(int line, const QString& message)
{
    s_(line, [&] { selection_.call(u"TypeText", {Arg(u"Text", Value::stringRef(EngineText(message)))}); });
    s_(line, [&] { selection_.call(u"TypeParagraph"); });
    s_(line, [&] { selection_.call(u"TypeBackspace"); });
}

void Composer::SetWordArt(int line, const char16_t* name, const QString& message)
{
    s_(line, [&] {
        word_.obj(u"ActiveDocument").obj(u"Shapes", {Value::string(name)}).obj(u"TextEffect").put(
            u"Text", Value::string(EngineText(message)));
    });
}

void Composer::PhotoPhase(int design)
{
    switch (design) {
    case 0:  // Photo Greeting Card
        SelectShape(152, u"Rectangle 27");
        FillFrame(154, TextRangeStep::Yes, 0);
        break;
    case 1:  // Clouds
        SelectShape(158, u"Text Box 97");
        FillFrame(160, TextRangeStep::Yes, 0);
        break;
    case 2:  // Hearts
        SelectShape(164, u"Text Box 5");
        FillFrame(166, TextRangeStep::No, 0);
        break;
    case 3:  // Meadow
        SelectShape(170, u"Text Box 33");
        FillFrame(172, TextRangeStep::No, 0);
        break;
    case 4:  // Flowers: the photo in all three frames
        SelectShape(176, u"Text Box 14");
        FillFrame(178, TextRangeStep::No, 0);
        SelectShape(180, u"Text Box 15");
        FillFrame(182, TextRangeStep::Yes, 1);
        SelectShape(184, u"Text Box 16");
        FillFrame(186, TextRangeStep::Yes, 2);
        break;
    case 5: {  // Yellow Flower: the photo in place of the picture four lines below the bookmark
        s_(190, [&] {
            word_.obj(u"ActiveDocument").obj(u"Bookmarks").obj(u"Item", {Value::string(u"btext")}).obj(u"Range").call(
                u"Select");
        });
        s_(192, [&] {
            word_.obj(u"Selection").call(u"MoveDown", {Arg(u"Unit", Value::int32(5)), Arg(u"Count", Value::int16(4))});
        });
        s_(194, [&] {
            word_.obj(u"Selection").call(u"Delete", {Arg(u"Unit", Value::int32(1)), Arg(u"Count", Value::int16(1))});
        });
        Object selection;
        s_(196, [&] { selection = word_.obj(u"Selection"); });
        AddPicture(196, selection, 0);
        break;
    }
    default: break;
    }
}

void Composer::MessagePhase(int design, const QString& message)
{
    message_ = message;
    switch (design) {
    case 0:
        SelectShape(228, u"Text Box 2");
        TakeSelection(230);
        TypeMessage(232, message);
        s_(234, [&] { selection_.path(u"ShapeRange.TextFrame.TextRange").call(u"Select"); });
        SelectShape(236, u"Rectangle 4");
        ReleaseSelection(238);
        break;
    case 1:
        SelectShape(242, u"Text Box 20");
        TakeSelection(244);
        TypeMessage(246, message);
        SelectShape(248, u"Text Box 106");
        TakeSelection(250);
        TypeMessage(252, message);
        ReleaseSelection(254);
        break;
    case 2:
        SelectShape(258, u"Text Box 4");
        TakeSelection(260);
        TypeMessage(262, message);
        ReleaseSelection(264);
        break;
    case 3:
        SelectShape(266, u"Text Box 30");
        TakeSelection(268);
        TypeMessage(270, message);
        ReleaseSelection(272);
        SetWordArt(274, u"WordArt 55", message);
        break;
    case 4:
        SelectShape(276, u"Text Box 3");
        TakeSelection(278);
        TypeMessage(280, message);
        ReleaseSelection(282);
        SetWordArt(282, u"WordArt 5", message);
        break;
    case 5:
        s_(284, [&] {
            word_.obj(u"ActiveDocument").obj(u"Bookmarks").obj(u"Item", {Value::string(u"btext")}).obj(u"Range").put(
                u"Text", Value::string(EngineText(message)));
        });
        break;
    default: break;
    }
}

bool Composer::Shrink(double designed, double floor, const std::function<bool(double)>& fits)
{
    // In half points: the steps a word processor's size box offers.
    int low = int(std::ceil(floor * 2)), high = int(std::floor(designed * 2));
    if (low >= high) return fits(low / 2.0);
    if (!fits(low / 2.0)) return false;
    // `low` fits, `high` does not.
    while (high - low > 1) {
        const int middle = (low + high) / 2;
        (fits(middle / 2.0) ? low : high) = middle;
    }
    return fits(low / 2.0);
}

bool Composer::FitTextBox(int line, const char16_t* name, double floor)
{
    bool fitted = true;
    s_(line, [&] {
        const Object frame = word_.obj(u"ActiveDocument").obj(u"Shapes", {Value::string(name)}).obj(u"TextFrame");
        const Object font = frame.obj(u"TextRange").obj(u"Font");
        const double designed = font.get(u"Size").toDouble();
        const auto sized = [&](double points) {
            font.put(u"Size", Value::single(float(points)));
            font.put(u"SizeBi", Value::single(float(points)));
        };
        font.put(u"SizeBi", Value::single(float(designed)));
        font.put(u"BoldBi", font.get(u"Bold"));
        if (!frame.get(u"Overflowing").toBool()) return;
        fitted = Shrink(designed, floor, [&](double points) {
            sized(points);
            return !frame.get(u"Overflowing").toBool();
        });
    });
    return fitted;
}

bool Composer::FitBody(int line, double floor, double photoShortfall)
{
    bool fitted = true;
    s_(line, [&] {
        // The message is the document's first paragraphs; the design's last
        // four (three thin lines and the picture) follow it.
        const Object doc = word_.obj(u"ActiveDocument");
        const int count = doc.obj(u"Paragraphs").get(u"Count").toInt();
        const int last = count - 4;
        if (last < 1) return;
        const auto paragraph = [&](int index) { return doc.obj(u"Paragraphs", {Value::int32(index)}); };
        const auto top = [&](int index, int type) {
            return paragraph(index).obj(u"Range").get(u"Information", {Value::int32(type)}).toDouble();
        };
        constexpr int kPage = 3, kFromPageTop = 6;  // wdActiveEndPageNumber, wdVerticalPositionRelativeToPage
        const Object first = paragraph(1).obj(u"Range").obj(u"Font");
        const double designed = first.get(u"Size").toDouble();
        const Value bold = first.get(u"Bold");
        const auto sized = [&](double points) {
            for (int i = 1; i <= last; ++i) {
                const Object font = paragraph(i).obj(u"Range").obj(u"Font");
                font.put(u"Size", Value::single(float(points)));
                font.put(u"SizeBi", Value::single(float(points)));
                font.put(u"BoldBi", bold);
            }
        };
        // The message's own height: from its top to the next paragraph's, less the space kept below it.
        const auto height = [&] {
            if (top(last + 1, kPage) != top(1, kPage)) return 1e9;  // it went past the page
            return top(last + 1, kFromPageTop) - top(1, kFromPageTop) - paragraph(last).get(u"SpaceAfter").toDouble();
        };
        constexpr double kRounding = 0.5;
        const auto fits = [&] { return height() <= kYellowFlowerMessageRoom + kRounding; };
        sized(designed);
        if (!fits()) {
            fitted = Shrink(designed, floor, [&](double points) {
                sized(points);
                return fits();
            });
        }
        // What the message leaves of its room, and half of what the photo
        // leaves of its own, above the photo.
        const double above = std::max(0.0, kYellowFlowerMessageRoom - height()) + std::max(0.0, photoShortfall) / 2;
        paragraph(last).put(u"SpaceAfter", Value::single(float(above)));
    });
    return fitted;
}

void Composer::FitWordArt(int line, const char16_t* name, int design)
{
    s_(line, [&] {
        const Object shape = word_.obj(u"ActiveDocument").obj(u"Shapes", {Value::string(name)});
        const QRectF box(shape.get(u"Left").toDouble(), shape.get(u"Top").toDouble(), shape.get(u"Width").toDouble(),
                         shape.get(u"Height").toDouble());
        if (box.isEmpty()) return;
        const WordArtLayout laid = LayOutWordArt(EngineText(message_), WordArtFace(design), WordArtBold(design), box.size());
        if (laid.lines.isEmpty() || laid.size.isEmpty()) return;
        const QString text = laid.lines.join(QChar(u'\v'));
        if (text != EngineText(message_)) shape.obj(u"TextEffect").put(u"Text", Value::string(text));
        shape.put(u"Width", Value::single(float(laid.size.width())));
        shape.put(u"Height", Value::single(float(laid.size.height())));
        shape.put(u"Left", Value::single(float(box.center().x() - laid.size.width() / 2)));
        shape.put(u"Top", Value::single(float(box.center().y() - laid.size.height() / 2)));
    });
}

bool Composer::FitMessage(int design, double photoShortfall)
{
    const double floor = MessageFloor(design);
    switch (design) {
    case 0: return FitTextBox(238, u"Text Box 2", floor);
    case 1: {
        const bool inside = FitTextBox(254, u"Text Box 20", floor);
        return FitTextBox(254, u"Text Box 106", floor) && inside;
    }
    case 2: return FitTextBox(264, u"Text Box 4", floor);
    case 3:
        FitWordArt(274, u"WordArt 55", design);
        return FitTextBox(272, u"Text Box 30", floor);
    case 4:
        FitWordArt(282, u"WordArt 5", design);
        return FitTextBox(282, u"Text Box 3", floor);
    case 5: return FitBody(284, floor, photoShortfall);
    default: return true;
    }
}

}  // namespace marigal
