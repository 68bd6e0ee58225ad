// The parts of the Windows backend that need no Windows: where each argument
// goes in the automation call's argument block, and the reference counting of
// the interface holder. A mistake in either shows on Windows only as a wrong
// argument, a "Type mismatch", a leaked Word process or a crash.
#include "engine/com/call_layout.h"
#include "engine/com/com_ptr.h"
#include "engine/engine_error.h"

#include <gtest/gtest.h>

#include <string>

using namespace marigal::engine;
using namespace marigal::engine::com;

namespace {

// The argument block in reading order, rgvarg[0] first: named arguments as
// `Name:=value` (the assigned value of a put as `put:=value`), then `|`, then
// the positional ones. Also checks that every name index is one the layout
// asks GetIDsOfNames for.
std::string Block(const CallLayout& layout, const Args& args)
{
    std::u16string out;
    for (std::size_t i = 0; i < layout.block.size(); ++i) {
        const Slot& s = layout.block[i];
        if (i == layout.named) out += u"| ";
        if (s.name == kAssignedValue) {
            out += u"put:=";
        } else if (s.name != kPositional) {
            EXPECT_GT(s.name, 0) << "names[0] is the member";
            EXPECT_LT(std::size_t(s.name), layout.names.size());
            out += layout.names[s.name] + u":=";
        }
        EXPECT_EQ(s.name == kPositional, i >= layout.named) << "named slots come first";
        out += args.at(s.arg).value.describe() + u" ";
    }
    if (layout.named == layout.block.size()) out += u"|";
    return ToUtf8(out);
}

std::string Names(const CallLayout& layout)
{
    std::u16string out;
    for (const auto& n : layout.names) out += n + u";";
    return ToUtf8(out);
}

}  // namespace

TEST(CallLayout, PositionalArgumentsGoLastFirst)
{
    const Args args{Value::string(u"a"), Value::int16(2), Value::boolean(true)};
    const CallLayout layout = LayOut(u"Add", args, false);
    EXPECT_EQ(Block(layout, args), "| True 2% \"a\" ");
    EXPECT_EQ(Names(layout), "Add;");
    EXPECT_EQ(layout.named, 0u);

    const Args none;
    EXPECT_EQ(Block(LayOut(u"Quit", none, false), none), "|");
    EXPECT_EQ(Names(LayOut(u"Quit", none, false)), "Quit;");
}

TEST(CallLayout, NamedArgumentsComeFirstEachWithItsOwnName)
{
    // AddPicture "a.jpg", LinkToFile:=False, SaveWithDocument:=True, mixed
    // with a second positional argument to show they are told apart.
    const Args args{Value::string(u"a.jpg"), Arg(u"LinkToFile", Value::boolean(false)), Value::int32(7),
                    Arg(u"SaveWithDocument", Value::boolean(true))};
    const CallLayout layout = LayOut(u"AddPicture", args, false);
    EXPECT_EQ(Block(layout, args), "LinkToFile:=False SaveWithDocument:=True | 7& \"a.jpg\" ");
    EXPECT_EQ(Names(layout), "AddPicture;LinkToFile;SaveWithDocument;");
    EXPECT_EQ(layout.named, 2u);

    const Args onlyNamed{Arg(u"SaveChanges", Value::boolean(false))};
    EXPECT_EQ(Block(LayOut(u"Quit", onlyNamed, false), onlyNamed), "SaveChanges:=False |");
}

TEST(CallLayout, PropertyPutPassesTheAssignedValueFirst)
{
    // Visible = False
    const Args plain{Value::boolean(false)};
    CallLayout layout = LayOut(u"Visible", plain, true);
    EXPECT_EQ(Block(layout, plain), "put:=False |");
    EXPECT_EQ(Names(layout), "Visible;") << "the assigned value has no name to look up";

    // Item(2, "x") = 5: the property's own arguments stay positional, last first.
    const Args indexed{Value::int16(2), Value::string(u"x"), Value::int32(5)};
    EXPECT_EQ(Block(LayOut(u"Item", indexed, true), indexed), "put:=5& | \"x\" 2% ");

    // The value is the last argument whatever it is called, and the
    // property's named arguments follow it.
    const Args named{Arg(u"Index", Value::int16(1)), Arg(u"Ignored", Value::string(u"v"))};
    layout = LayOut(u"Item", named, true);
    EXPECT_EQ(Block(layout, named), "put:=\"v\" Index:=1% |");
    EXPECT_EQ(Names(layout), "Item;Index;");

    // Assigning Empty still assigns.
    const Args empty{Value()};
    EXPECT_EQ(Block(LayOut(u"Text", empty, true), empty), "put:=Empty |");

    // A put without a value is the server's to refuse; the layout adds nothing.
    const Args none;
    EXPECT_EQ(Block(LayOut(u"Text", none, true), none), "|");
}

TEST(CallLayout, EmptyArgumentsAreLeftOutWhereverTheyCanBe)
{
    const Args args{Value::string(u"a"), Value(), Value::string(u"c"), Value(), Value(),
                    Arg(u"Missing", Value()), Arg(u"Given", Value::int16(1))};
    const CallLayout layout = LayOut(u"Call", args, false);
    // The middle Empty holds the place of "c"; the trailing ones and the
    // empty named one are not passed, and their names are not looked up.
    EXPECT_EQ(Block(layout, args), "Given:=1% | \"c\" Empty \"a\" ");
    EXPECT_EQ(Names(layout), "Call;Given;");

    const Args allEmpty{Value(), Value()};
    EXPECT_EQ(Block(LayOut(u"Call", allEmpty, false), allEmpty), "|");
}

namespace {

// An interface that counts its references, as a COM object does.
struct Counted {
    int refs = 1;  // a new object comes with one reference for its creator
    int releasedBelowZero = 0;
    void AddRef() { ++refs; }
    void Release()
    {
        if (--refs < 0) ++releasedBelowZero;
    }
};

}  // namespace

TEST(ComPtr, AdoptTakesOverAndShareAddsAReference)
{
    Counted obj;
    {
        auto p = ComPtr<Counted>::adopt(&obj);
        EXPECT_EQ(obj.refs, 1);
        EXPECT_EQ(p.get(), &obj);
    }
    EXPECT_EQ(obj.refs, 0) << "the creator's reference is released";

    Counted borrowed;
    {
        auto p = ComPtr<Counted>::share(&borrowed);
        EXPECT_EQ(borrowed.refs, 2);
    }
    EXPECT_EQ(borrowed.refs, 1) << "the lender keeps its own reference";

    auto none = ComPtr<Counted>::share(nullptr);
    EXPECT_FALSE(none);
}

TEST(ComPtr, CopiesMovesAndAssignmentsStayBalanced)
{
    Counted a, b;
    {
        auto pa = ComPtr<Counted>::adopt(&a);
        auto pb = ComPtr<Counted>::adopt(&b);

        ComPtr<Counted> copy = pa;
        EXPECT_EQ(a.refs, 2);
        ComPtr<Counted> moved = std::move(copy);
        EXPECT_EQ(a.refs, 2);
        EXPECT_FALSE(copy);  // NOLINT(bugprone-use-after-move): a moved-from holder is empty

        moved = pb;  // lets go of a, takes b
        EXPECT_EQ(a.refs, 1);
        EXPECT_EQ(b.refs, 2);

        moved = moved;  // NOLINT: assigning to itself must neither leak nor release
        EXPECT_EQ(b.refs, 2);

        moved = std::move(pa);
        EXPECT_EQ(a.refs, 1);
        EXPECT_EQ(b.refs, 1);
    }
    EXPECT_EQ(a.refs, 0);
    EXPECT_EQ(b.refs, 0);
    EXPECT_EQ(a.releasedBelowZero + b.releasedBelowZero, 0);
}

TEST(ComPtr, PutAndResetReleaseWhatWasHeldOnce)
{
    Counted first, second;
    auto p = ComPtr<Counted>::adopt(&first);
    Counted** slot = p.put();
    EXPECT_EQ(first.refs, 0) << "an out-parameter must not overwrite a live reference";
    EXPECT_EQ(*slot, nullptr);
    *slot = &second;  // as a creating call fills it
    EXPECT_EQ(p.get(), &second);

    p.reset();
    p.reset();
    EXPECT_EQ(second.refs, 0);
    EXPECT_EQ(second.releasedBelowZero, 0);
    EXPECT_FALSE(p);
}
