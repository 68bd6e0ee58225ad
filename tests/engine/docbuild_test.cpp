#include "doc_builder.h"
#include "doc_reader.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

using namespace marigal;
using namespace marigal::docbuild;

TEST(DocBuild, Explore)
{
    QTemporaryDir dir;
    engine::LibreOfficeOptions o;
    o.profileRoot = dir.filePath("profiles");
    auto session = engine::lo::OfficeSession::start(o);
    {
        DocBuilder b(*session);
        std::fprintf(stderr, "step: 1\n");
        b.setPage(29700, 21000, 1000);
        std::fprintf(stderr, "step: 2\n");
        b.setTemplateName("Normal.dot");
        std::fprintf(stderr, "step: 3\n");
        b.addParagraph("Hello", {.font = "Liberation Sans", .points = 20, .bold = true, .color = Qt::red, .centred = true});
        std::fprintf(stderr, "step: 4\n");
        b.addBookmarkAtStart("btext");
        std::fprintf(stderr, "step: 5\n");
        b.addEmptyParagraphs(3);
        QImage pic(40, 30, QImage::Format_RGB32);
        pic.fill(Qt::blue);
        std::fprintf(stderr, "step: 6\n");
        b.addInlinePicture(pic, 4000, 3000);
        b.addTextPlace("Text Box 2", QRect(2000, 3000, 8000, 5001),
                       {.text = "Your personal message here", .fill = QColor(255, 255, 200), .line = Qt::black});
        std::fprintf(stderr, "step: 7\n");
        b.addTextPlace("Rectangle 27", QRect(12000, 3000, 6000, 4000), {});
        TextPlaceContent withPic{.text = "pic below"};
        withPic.picture = pic;
        withPic.pictureSize = QSize(3000, 2000);
        std::fprintf(stderr, "step: 8\n");
        b.addTextPlace("Text Box 9", QRect(12000, 9000, 6000, 5000), withPic);
        std::fprintf(stderr, "step: 9\n");
        b.addShape("Rectangle 4", QRect(1000, 15000, 5000, 2000), QColor(0, 128, 0));
        std::fprintf(stderr, "step: 10\n");
        b.addWordArt("WordArt 55", QRect(15000, 15000, 10000, 4000), "thinking\nof you...", {.color = QColor(200, 0, 100)});
        std::fprintf(stderr, "step: 11\n");
        b.addBackgroundPicture(pic, QRect(0, 0, 29700, 21000));
        std::fprintf(stderr, "step: 12\n");
        b.addPageBreak();
        std::fprintf(stderr, "step: 13\n");
        b.addParagraph("page two");
        std::fprintf(stderr, "step: 14\n");
        b.addTextPlace("Text Box 7", QRect(2000, 3000, 8000, 5000), {.text = "on page two (page anchor)"}, 2);
        std::fprintf(stderr, "step: 15\n");
        b.addTextPlace("Text Box 8", QRect(2000, 9000, 8000, 5000), {.text = "on page two (para anchor)"}, 2, AnchorTo::Paragraph);
        std::fprintf(stderr, "step: 16\n");
        b.addShape("Rectangle 5", QRect(12000, 3000, 5000, 2000), QColor(0, 0, 128), QColor(), 2);
        std::fprintf(stderr, "step: 17\n");
        b.saveAs(dir.filePath("card.odt").replace(".odt", ".dot"), Format::Dot);
        std::fprintf(stderr, "step: 18\n");
        b.saveAs(dir.filePath("card.doc"), Format::Doc);
        {
            // what the builder itself has, before export
        }
    }
    for (const char* name : {"card.dot", "card.doc"}) {
        DocReader r(*session, dir.filePath(name));
        std::printf("== %s\n%s", name, qPrintable(r.dump()));
    }
    std::system(qPrintable("ls -la " + dir.path() + "; cp " + dir.path() + "/card.* /tmp/"));
    session->quit();
}
