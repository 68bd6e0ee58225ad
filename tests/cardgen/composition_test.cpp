// Each design's recipe, as the word processor sees it: the exact members,
// arguments and argument kinds, in order.

#include "cardgen/catalogue.h"
#include "cardgen/composition.h"
#include "common/steps.h"
#include "engine/fake/recording_fake.h"
#include "tests/support/scripted_modal.h"

#include <gtest/gtest.h>

using namespace marigal;

namespace {

const QString kSel = "ActiveDocument.Application.Selection";

// The calls that do something: getters that only lead on to a further member
// are left out (each shows in the path of the call after it).
QStringList Effective(const QStringList& calls)
{
    QStringList out;
    for (int i = 0; i < calls.size(); ++i)
        if (i + 1 >= calls.size() || !calls[i + 1].startsWith(calls[i] + ".")) out << calls[i];
    return out;
}

QStringList Select(const QString& shape)
{
    return {QStringLiteral("ActiveDocument.Shapes(\"%1\").Select()").arg(shape)};
}

QStringList Fill(bool textRange)
{
    QStringList l;
    if (textRange) l << kSel + ".ShapeRange.TextFrame.TextRange.Select()" << kSel + ".Collapse()";
    l << kSel + ".InlineShapes.AddPicture(filename:=\"/photos/ann.jpg\", LinkToFile:=False, SaveWithDocument:=True)"
      << kSel + ".ShapeRange.Select()" << kSel + ".Collapse()";
    return l;
}

QStringList Type()
{
    return {kSel + ".TypeText(Text:=&\"Happy birthday!\")", kSel + ".TypeParagraph()", kSel + ".TypeBackspace()"};
}

QStringList WordArt(const QString& shape)
{
    return {QStringLiteral("ActiveDocument.Shapes(\"%1\").TextEffect.Text = \"Happy birthday!\"").arg(shape)};
}

struct Recipe {
    QStringList photo, message;
};

std::vector<Recipe> Recipes()
{
    return {
        {Select("Rectangle 27") + Fill(true),
         Select("Text Box 2") + Type() + QStringList{kSel + ".ShapeRange.TextFrame.TextRange.Select()"} +
             Select("Rectangle 4")},
        {Select("Text Box 97") + Fill(true), Select("Text Box 20") + Type() + Select("Text Box 106") + Type()},
        {Select("Text Box 5") + Fill(false), Select("Text Box 4") + Type()},
        {Select("Text Box 33") + Fill(false), Select("Text Box 30") + Type() + WordArt("WordArt 55")},
        {Select("Text Box 14") + Fill(false) + Select("Text Box 15") + Fill(true) + Select("Text Box 16") + Fill(true),
         Select("Text Box 3") + Type() + WordArt("WordArt 5")},
        {{"ActiveDocument.Bookmarks.Item(\"btext\").Range.Select()", "Selection.MoveDown(Unit:=5&, Count:=4%)",
          "Selection.Delete(Unit:=1&, Count:=1%)",
          "Selection.InlineShapes.AddPicture(filename:=\"/photos/ann.jpg\", LinkToFile:=False, "
          "SaveWithDocument:=True)"},
         {"ActiveDocument.Bookmarks.Item(\"btext\").Range.Text = \"Happy birthday!\""}},
    };
}

}  // namespace

TEST(Composition, EachDesignFollowsItsRecipe)
{
    const auto recipes = Recipes();
    for (int design = 0; design < 6; ++design) {
        SCOPED_TRACE(design);
        engine::RecordingFake fake;
        test::ScriptedModal modal;
        Steps s(modal, "Form1", "PushButton6_Click");
        engine::Object word = fake.create(engine::kWordProgId);
        fake.clear();
        Composer c(word, s, [](int) { return QStringLiteral("/photos/ann.jpg"); });
        c.PhotoPhase(design);
        EXPECT_EQ(Effective(fake.calls()), recipes[size_t(design)].photo);
        fake.clear();
        c.MessagePhase(design, "Happy birthday!");
        EXPECT_EQ(Effective(fake.calls()), recipes[size_t(design)].message);
        EXPECT_TRUE(modal.messages.empty());
    }
}

TEST(Composition, TheSelectionIsTakenFromTheDocumentsApplication)
{
    engine::RecordingFake fake;
    test::ScriptedModal modal;
    Steps s(modal, "Form1", "PushButton6_Click");
    Composer c(fake.create(engine::kWordProgId), s, [](int) { return QString(); });
    c.MessagePhase(2, "x");
    EXPECT_TRUE(fake.calls().contains("ActiveDocument.Application.Selection"));
}

TEST(Composition, AFailingOperationIsReportedAndTheRecipeGoesOn)
{
    engine::RecordingFake fake;
    test::ScriptedModal modal;
    Steps s(modal, "Form1", "PushButton6_Click");
    engine::Object word = fake.create(engine::kWordProgId);
    fake.failOn("ActiveDocument.Shapes(\"Text Box 30\")", "The item with the specified name wasn't found.");
    fake.failOn(kSel + ".TypeParagraph()", "Automation error");
    fake.clear();
    Composer c(word, s, [](int) { return QString(); });
    c.MessagePhase(3, "Hi");
    const auto boxes = modal.errorBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], ErrorBoxText("The item with the specified name wasn't found.", "Form1", "PushButton6_Click", 266));
    EXPECT_EQ(boxes[1], ErrorBoxText("Automation error", "Form1", "PushButton6_Click", 270));
    // Typing went on with whatever the selection was, and the WordArt still got the message.
    const QStringList calls = Effective(fake.calls());
    EXPECT_TRUE(calls.contains(kSel + ".TypeBackspace()"));
    EXPECT_EQ(calls.last(), "ActiveDocument.Shapes(\"WordArt 55\").TextEffect.Text = \"Hi\"");
}

TEST(Composition, ControlCharactersBecomeLineBreaksOrAreLeftOut)
{
    // As pasted from other programs: vertical tab and form feed are line
    // breaks; U+0001, U+0007, U+0013 and U+001F no document can hold.
    const QString typed = QString::fromUtf16(u"Dear\u000bAnn\u000cand\u0001 Bob\u0007\u0013\u001f\tsee you\r\nsoon");
    const QString sent = QString::fromUtf16(u"Dear\u000bAnn\u000band Bob\tsee you\r\nsoon");
    for (int design : {3, 5}) {
        SCOPED_TRACE(design);
        engine::RecordingFake fake;
        test::ScriptedModal modal;
        Steps s(modal, "Form1", "PushButton6_Click");
        Composer c(fake.create(engine::kWordProgId), s, [](int) { return QString(); });
        fake.clear();
        c.MessagePhase(design, typed);
        const QStringList calls = Effective(fake.calls());
        const QStringList expected =
            design == 3 ? QStringList{kSel + ".TypeText(Text:=&\"" + sent + "\")",
                                      "ActiveDocument.Shapes(\"WordArt 55\").TextEffect.Text = \"" + sent + "\""}
                        : QStringList{"ActiveDocument.Bookmarks.Item(\"btext\").Range.Text = \"" + sent + "\""};
        for (const QString& line : expected) EXPECT_TRUE(calls.contains(line)) << calls.join('\n').toStdString();
    }
}

TEST(Composition, AMessageTooLargeForItsPlaceIsMadeJustSmallEnoughDownToTheFloor)
{
    // The word processor's layout, played: the text overflows above `fits` points.
    for (const double fits : {14.0, 21.5, 3.0}) {
        SCOPED_TRACE(fits);
        engine::RecordingFake fake;
        test::ScriptedModal modal;
        Steps s(modal, "Form1", "PushButton6_Click");
        double size = 22, sizeBi = 12;
        fake.answer = [&](const QString& line) -> std::optional<engine::Value> {
            if (line.endsWith(".TextFrame.Overflowing")) return engine::Value::boolean(size > fits);
            if (line.endsWith(".Font.Size")) return engine::Value::single(float(size));
            return {};
        };
        fake.onCall = [&](const QString& line, const engine::Args& args) {
            if (line.contains(".Font.Size = ")) size = args.back().value.toDouble();
            if (line.contains(".Font.SizeBi = ")) sizeBi = args.back().value.toDouble();
        };
        Composer c(fake.create(engine::kWordProgId), s, [](int) { return QString(); });
        const bool whole = c.FitMessage(2);
        EXPECT_EQ(whole, fits >= MessageFloor(2));
        // The largest half-point size that fits, never below the floor; right-to-left text alike.
        EXPECT_EQ(size, std::max(fits, MessageFloor(2)));
        EXPECT_EQ(sizeBi, size);
        EXPECT_TRUE(modal.messages.empty());
    }
}
