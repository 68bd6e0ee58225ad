// Shows how the designs look, empty and as a finished card: fills each one
// with the program's own recipes (the photo into the picture frames, a message into
// the message places and the WordArt), renders both through the office and
// writes PNG pictures to look at.
//
//   design_preview RESOURCES PNGDIR [MESSAGE [PHOTO]]
//
// RESOURCES is a folder as make_designs writes it (designs/, Samples/); the
// photo is its sample unless given.

#include "cardgen/card_photo.h"
#include "cardgen/catalogue.h"
#include "cardgen/composition.h"
#include "cardgen/page_export.h"
#include "common/steps.h"
#include "engine/libreoffice/lo_backend.h"
#include "engine/object.h"
#include "tools/make_designs/designs.h"
#include "tools/support/tool_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

using namespace marigal;
using engine::Arg;
using engine::Object;
using engine::Value;

namespace {

// The design index whose resource is `id`.
int DesignIndexOf(int id)
{
    for (int i = 0; i < kDesignCount; ++i)
        if (DesignResourceId(i) == id) return i;
    return 0;
}

QImage Render(engine::Backend& backend, const Object& doc)
{
    doc.obj(u"Range").call(u"CopyAsPicture");
    return GetClipboardPicture(backend, 0);
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
            Object empty = OpenTemplate(word, path);
            Render(backend, empty).save(out.filePath(QStringLiteral("design%1-empty.png").arg(id)));
            empty.call(u"Close", {Arg(u"SaveChanges", Value::int32(0))});
            Object card = OpenTemplate(word, path);
            // The program's own recipe, so the picture shows what users get.
            tools::StderrModal modal;
            Steps steps(modal, QStringLiteral("design_preview"), QStringLiteral("Fill"));
            const int design = DesignIndexOf(id);
            const std::vector<PreparedPhoto> copies = PrepareCardPhoto(photo, out.path(), design, PhotoFit::Fill);
            Composer composer(word, steps, [&](int place) { return copies[size_t(place)].path; });
            composer.PhotoPhase(design);
            composer.MessagePhase(design, message);
            composer.FitMessage(design);
            Render(backend, card).save(out.filePath(QStringLiteral("design%1-card.png").arg(id)));
            card.call(u"SaveAs", {Value::string(out.filePath(QStringLiteral("design%1-card.doc").arg(id)))});
            card.call(u"Close", {Arg(u"SaveChanges", Value::int32(0))});
            for (const PreparedPhoto& copy : copies) QFile::remove(copy.path);
            std::printf("design %d: done\n", id);
        }
        word.call(u"Quit");
    } catch (const engine::EngineError& e) {
        std::fprintf(stderr, "design_preview: %s\n", e.what());
        return 1;
    }
    return 0;
}
