// Every design, opened through the engine, holds the objects the card
// recipes address, each of the kind they expect.

#include "cardgen/catalogue.h"
#include "common/files.h"
#include "engine/libreoffice/lo_backend.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace marigal;
using engine::Arg;
using engine::Object;
using engine::Value;

namespace {
enum class Kind { TextBox, WordArt, Plain };

struct Named {
    const char16_t* name;
    Kind kind;
};

// What each design index must hold.
const std::vector<std::vector<Named>> kObjects{
    {{u"Rectangle 27", Kind::TextBox}, {u"Text Box 2", Kind::TextBox}, {u"Rectangle 4", Kind::Plain}},
    {{u"Text Box 97", Kind::TextBox}, {u"Text Box 20", Kind::TextBox}, {u"Text Box 106", Kind::TextBox}},
    {{u"Text Box 5", Kind::TextBox}, {u"Text Box 4", Kind::TextBox}},
    {{u"Text Box 33", Kind::TextBox}, {u"Text Box 30", Kind::TextBox}, {u"WordArt 55", Kind::WordArt}},
    {{u"Text Box 14", Kind::TextBox},
     {u"Text Box 15", Kind::TextBox},
     {u"Text Box 16", Kind::TextBox},
     {u"Text Box 3", Kind::TextBox},
     {u"WordArt 5", Kind::WordArt}},
    {},
};

bool Raises(const std::function<void()>& f)
{
    try {
        f();
    } catch (const engine::EngineError&) {
        return true;
    }
    return false;
}
}  // namespace

TEST(Designs, EveryDesignHoldsItsNamedObjects)
{
    QTemporaryDir dir;
    engine::LibreOfficeBackend backend;
    Object word = backend.create(engine::kWordProgId);
    for (int i = 0; i < kDesignCount; ++i) {
        SCOPED_TRACE(i);
        const QString path = dir.filePath(QStringLiteral("design%1.dot").arg(i));
        WriteBytesToFile(LoadResData(DesignResourceId(i), kDesignResourceType), path);
        Object doc = OpenTemplate(word, path);
        Object sel = word.obj(u"Selection");
        for (const Named& o : kObjects[size_t(i)]) {
            SCOPED_TRACE(QString::fromStdU16String(o.name).toStdString());
            Object shape = doc.obj(u"Shapes", {Value::string(o.name)});
            EXPECT_EQ(shape.get(u"Name").toString(), o.name);
            shape.call(u"Select");
            // A text box gives its selection a shape range; WordArt has a text effect.
            EXPECT_EQ(!Raises([&] { sel.obj(u"ShapeRange"); }), o.kind == Kind::TextBox);
            EXPECT_EQ(!Raises([&] { shape.obj(u"TextEffect").get(u"Text"); }), o.kind == Kind::WordArt);
        }
        if (i == 5) {
            Object start = doc.obj(u"Bookmarks").obj(u"Item", {Value::string(u"btext")}).obj(u"Range");
            EXPECT_EQ(start.get(u"Text").toString(), u"");
        }
        doc.call(u"Close", {Arg(u"SaveChanges", Value::int32(0))});
    }
    word.call(u"Quit");
}
