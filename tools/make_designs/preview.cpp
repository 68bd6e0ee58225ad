// Shows how the designs look, empty and as a finished card: fills each one
// the way the program does (the photo into the picture frames, a message into
// the message places and the WordArt), renders both through the office and
// writes PNG pictures to look at.
//
//   design_preview RESOURCES PNGDIR [MESSAGE [PHOTO]]
//
// RESOURCES is a folder as make_designs writes it (designs/, Samples/); the
// photo is its sample unless given.

#include "designs.h"
#include "lo_backend.h"
#include "object.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

using namespace marigal;
using engine::Arg;
using engine::Object;
using engine::Value;

namespace {

Object Open(const Object& word, const QString& path)
{
    return Object(word.obj(u"Documents")
                      .call(u"Open", {Value::stringRef(path), Arg(u"ReadOnly", Value::boolean(true))})
                      .toDispatch());
}

void Type(const Object& doc, const char16_t* place, const QString& text)
{
    doc.obj(u"Shapes", {Value::string(place)}).call(u"Select");
    doc.obj(u"Application").obj(u"Selection").call(u"TypeText", {Arg(u"Text", Value::string(text))});
}

// The photo replaces what the frame holds.
void Replace(const Object& doc, const char16_t* frame, const QString& photo)
{
    doc.obj(u"Shapes", {Value::string(frame)}).call(u"Select");
    doc.obj(u"Application").obj(u"Selection").obj(u"InlineShapes").call(u"AddPicture", {Value::string(photo)});
}

// The photo goes in at the start of the frame, before what it holds.
void Prepend(const Object& doc, const char16_t* frame, const QString& photo)
{
    doc.obj(u"Shapes", {Value::string(frame)}).call(u"Select");
    Object sel = doc.obj(u"Application").obj(u"Selection");
    sel.path(u"ShapeRange.TextFrame.TextRange").call(u"Select");
    sel.call(u"Collapse");
    sel.obj(u"InlineShapes").call(u"AddPicture", {Value::string(photo)});
}

void WordArt(const Object& doc, const char16_t* name, const QString& text)
{
    doc.obj(u"Shapes", {Value::string(name)}).obj(u"TextEffect").put(u"Text", Value::string(text));
}

void Fill(const Object& word, const Object& doc, int id, const QString& photo, const QString& message)
{
    switch (id) {
    case 101:
        Prepend(doc, u"Text Box 97", photo);
        Type(doc, u"Text Box 20", message);
        Type(doc, u"Text Box 106", message);
        break;
    case 102:
        Replace(doc, u"Text Box 14", photo);
        Prepend(doc, u"Text Box 15", photo);
        Prepend(doc, u"Text Box 16", photo);
        Type(doc, u"Text Box 3", message);
        WordArt(doc, u"WordArt 5", message);
        break;
    case 103:
        Replace(doc, u"Text Box 5", photo);
        Type(doc, u"Text Box 4", message);
        break;
    case 104:
        Replace(doc, u"Text Box 33", photo);
        Type(doc, u"Text Box 30", message);
        WordArt(doc, u"WordArt 55", message);
        break;
    case 105:
        Prepend(doc, u"Rectangle 27", photo);
        Type(doc, u"Text Box 2", message);
        break;
    case 106: {
        doc.obj(u"Bookmarks").obj(u"Item", {Value::string(u"btext")}).obj(u"Range").call(u"Select");
        Object sel = word.obj(u"Selection");
        sel.call(u"MoveDown", {Arg(u"Unit", Value::int32(5)), Arg(u"Count", Value::int16(4))});
        sel.call(u"Delete", {Arg(u"Unit", Value::int32(1)), Arg(u"Count", Value::int16(1))});
        sel.obj(u"InlineShapes").call(u"AddPicture", {Value::string(photo)});
        doc.obj(u"Bookmarks").obj(u"Item", {Value::string(u"btext")}).obj(u"Range").put(u"Text",
                                                                                       Value::string(message));
        break;
    }
    }
}

QImage Render(const Object& doc)
{
    doc.obj(u"Range").call(u"CopyAsPicture");
    return QGuiApplication::clipboard()->image();
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: design_preview RESOURCES PNGDIR [MESSAGE [PHOTO]]\n");
        return 2;
    }
    const QDir resources(QString::fromLocal8Bit(argv[1]));
    const QDir out(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(out.path());
    const QString message = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("Happy birthday, dear Ann!");
    const QString photo = argc > 4 ? QFileInfo(QString::fromLocal8Bit(argv[4])).absoluteFilePath()
                                   : resources.absoluteFilePath(QStringLiteral("Samples/sample1.jpg"));
    try {
        engine::LibreOfficeBackend backend;
        Object word = backend.create(engine::kWordProgId);
        for (const int id : designs::kDesignIds) {
            const QString path = resources.absoluteFilePath(designs::DesignFile(id));
            Object empty = Open(word, path);
            Render(empty).save(out.filePath(QStringLiteral("design%1-empty.png").arg(id)));
            empty.call(u"Close", {Arg(u"SaveChanges", Value::int32(0))});
            Object card = Open(word, path);
            Fill(word, card, id, photo, message);
            Render(card).save(out.filePath(QStringLiteral("design%1-card.png").arg(id)));
            card.call(u"SaveAs", {Value::string(out.filePath(QStringLiteral("design%1-card.doc").arg(id)))});
            card.call(u"Close", {Arg(u"SaveChanges", Value::int32(0))});
            std::printf("design %d: done\n", id);
        }
        word.call(u"Quit");
    } catch (const engine::EngineError& e) {
        std::fprintf(stderr, "design_preview: %s\n", e.what());
        return 1;
    }
    return 0;
}
