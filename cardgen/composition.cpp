#include "composition.h"

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

void Composer::AddPicture(int line, const Object& selection)
{
    s_(line, [&] {
        selection.obj(u"InlineShapes")
            .call(u"AddPicture", {Arg(u"filename", Value::string(photoPath_())),
                                  Arg(u"LinkToFile", Value::boolean(false)),
                                  Arg(u"SaveWithDocument", Value::boolean(true))});
    });
}

void Composer::FillFrame(int line, TextRangeStep textRange)
{
    TakeSelection(line);
    if (textRange == TextRangeStep::Yes) {
        s_(line, [&] { selection_.path(u"ShapeRange.TextFrame.TextRange").call(u"Select"); });
        s_(line, [&] { selection_.call(u"Collapse"); });
    }
    AddPicture(line, selection_);
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
        FillFrame(154, TextRangeStep::Yes);
        break;
    case 1:  // Clouds
        SelectShape(158, u"Text Box 97");
        FillFrame(160, TextRangeStep::Yes);
        break;
    case 2:  // Hearts
        SelectShape(164, u"Text Box 5");
        FillFrame(166, TextRangeStep::No);
        break;
    case 3:  // Meadow
        SelectShape(170, u"Text Box 33");
        FillFrame(172, TextRangeStep::No);
        break;
    case 4:  // Flowers: the photo in all three frames
        SelectShape(176, u"Text Box 14");
        FillFrame(178, TextRangeStep::No);
        SelectShape(180, u"Text Box 15");
        FillFrame(182, TextRangeStep::Yes);
        SelectShape(184, u"Text Box 16");
        FillFrame(186, TextRangeStep::Yes);
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
        AddPicture(196, selection);
        break;
    }
    default: break;
    }
}

void Composer::MessagePhase(int design, const QString& message)
{
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

}  // namespace marigal
