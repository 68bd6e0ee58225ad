// Medians over N runs of each step of making a card through the engine, on
// a small card built here: office start, opening the template, filling the
// photo frame, typing the message, the WordArt, the bookmark recipe, SaveAs,
// quit, and rendering the saved card to the clipboard.
//
//   bench_word [N]      (N defaults to 5)

#include "engine/libreoffice/lo_backend.h"
#include "engine/libreoffice/office_session.h"
#include "tools/docbuild/doc_builder.h"

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

using namespace marigal::engine;

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Timer {
    std::vector<std::pair<std::string, std::vector<double>>> steps;
    void time(const std::string& name, const std::function<void()>& f)
    {
        const auto t0 = Clock::now();
        f();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        auto it = std::find_if(steps.begin(), steps.end(), [&](const auto& s) { return s.first == name; });
        if (it == steps.end()) steps.push_back({name, {ms}});
        else it->second.push_back(ms);
    }
};

Arg Named(const char16_t* name, Value v)
{
    return Arg(name, std::move(v));
}

void MakeTemplates(const QTemporaryDir& dir)
{
    auto session = lo::OfficeSession::start({});
    QImage own(600, 400, QImage::Format_RGB32);
    own.fill(QColor(60, 160, 80));
    {
        marigal::docbuild::DocBuilder b(*session);
        b.setPage(12700, 17780, 800);
        marigal::docbuild::TextPlaceContent frame;
        frame.line = Qt::darkGray;
        b.addTextPlace(QStringLiteral("Rectangle 27"), QRect(1500, 1500, 9700, 8000), frame);
        marigal::docbuild::TextPlaceContent message;
        message.text = QStringLiteral("Your personal message here");
        b.addTextPlace(QStringLiteral("Text Box 2"), QRect(1500, 10500, 9700, 2500), message);
        b.addWordArt(QStringLiteral("WordArt 55"), QRect(1500, 14000, 9700, 2500), QStringLiteral("thinking\nof you..."));
        b.saveAs(dir.filePath("card.dot"), marigal::docbuild::Format::Dot);
    }
    {
        marigal::docbuild::DocBuilder b(*session);
        b.setPage(12700, 17780, 800);
        b.addBookmarkAtStart(QStringLiteral("btext"));
        b.addEmptyParagraphs(4);
        b.addInlinePicture(own, 9000, 6000);
        b.saveAs(dir.filePath("body.dot"), marigal::docbuild::Format::Dot);
    }
    session->quit();
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    QImage photo(3000, 2000, QImage::Format_RGB32);  // a phone-sized photo
    photo.fill(QColor(210, 120, 60));
    const QString photoPath = dir.filePath("photo.jpg");
    photo.save(photoPath, "JPG", 90);

    Timer t;
    try {
        MakeTemplates(dir);
        LibreOfficeBackend backend;
        const auto fill = [&](const Object& sel) {
            sel.obj(u"InlineShapes")
                .call(u"AddPicture", {Named(u"filename", Value::string(photoPath)),
                                      Named(u"LinkToFile", Value::boolean(false)),
                                      Named(u"SaveWithDocument", Value::boolean(true))});
        };
        for (int i = 0; i < n; ++i) {
            Object word, doc, sel;
            t.time("office start", [&] { word = backend.create(kWordProgId); });
            t.time("open template", [&] {
                doc = Object(word.obj(u"Documents")
                                 .call(u"Open", {Value::stringRef(dir.filePath("card.dot")),
                                                 Named(u"ReadOnly", Value::boolean(true))})
                                 .toDispatch());
            });
            t.time("photo into a frame", [&] {
                doc.obj(u"Shapes", {Value::string(u"Rectangle 27")}).call(u"Select");
                sel = doc.obj(u"Application").obj(u"Selection");
                sel.path(u"ShapeRange.TextFrame.TextRange").call(u"Select");
                sel.call(u"Collapse");
                fill(sel);
                sel.obj(u"ShapeRange").call(u"Select");
                sel.call(u"Collapse");
            });
            t.time("message into a text box", [&] {
                doc.obj(u"Shapes", {Value::string(u"Text Box 2")}).call(u"Select");
                sel = doc.obj(u"Application").obj(u"Selection");
                sel.call(u"TypeText", {Named(u"Text", Value::stringRef(u"Happy birthday!"))});
                sel.call(u"TypeParagraph");
                sel.call(u"TypeBackspace");
            });
            t.time("message as WordArt", [&] {
                doc.obj(u"Shapes", {Value::string(u"WordArt 55")})
                    .obj(u"TextEffect")
                    .put(u"Text", Value::string(u"Happy birthday!"));
            });
            const QString card = dir.filePath(QStringLiteral("card%1.doc").arg(i));
            t.time("SaveAs", [&] { doc.call(u"SaveAs", {Value::stringRef(card)}); });
            t.time("close and quit", [&] {
                word.put(u"DisplayAlerts", Value::boolean(false));
                doc.call(u"Close");
                word.call(u"Quit");
            });

            word = backend.create(kWordProgId);
            t.time("bookmark recipe (open, replace picture, message)", [&] {
                doc = Object(word.obj(u"Documents")
                                 .call(u"Open", {Value::stringRef(dir.filePath("body.dot")),
                                                 Named(u"ReadOnly", Value::boolean(true))})
                                 .toDispatch());
                doc.obj(u"Bookmarks").obj(u"Item", {Value::string(u"btext")}).obj(u"Range").call(u"Select");
                sel = word.obj(u"Selection");
                sel.call(u"MoveDown", {Named(u"Unit", Value::int32(5)), Named(u"Count", Value::int16(4))});
                sel.call(u"Delete", {Named(u"Unit", Value::int32(1)), Named(u"Count", Value::int16(1))});
                fill(sel);
                doc.obj(u"Bookmarks").obj(u"Item", {Value::string(u"btext")}).obj(u"Range").put(
                    u"Text", Value::string(u"Happy birthday!"));
            });
            word.call(u"Quit");

            t.time("card to clipboard (start, open, CopyAsPicture, quit)", [&] {
                word = backend.create(kWordProgId);
                doc = Object(word.obj(u"Documents").call(u"Open", {Value::stringRef(card)}).toDispatch());
                doc.obj(u"Range").call(u"CopyAsPicture");
                doc.call(u"Close", {Named(u"savechanges", Value::int32(0))});
                word.call(u"Quit");
            });
        }
    } catch (const EngineError& e) {
        std::fprintf(stderr, "bench_word: %s\n", e.what());
        return 1;
    }
    std::printf("runs: %d (medians)\n", n);
    for (const auto& [name, ms] : t.steps) std::printf("%-55s %8.1f ms\n", name.c_str(), Median(ms));
    return 0;
}
