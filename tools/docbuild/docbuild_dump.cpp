// Prints what the office's import makes of Word documents: pages, paragraphs,
// bookmarks, text frames and draw-page objects.
//
//   docbuild_dump FILE...

#include "tools/docbuild/doc_reader.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace marigal;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: docbuild_dump FILE...\n");
        return 2;
    }
    int status = 0;
    try {
        // A profile of its own, so that the program's pool is left alone.
        QTemporaryDir profiles;
        engine::LibreOfficeOptions options;
        options.profileRoot = profiles.path();
        auto session = engine::lo::OfficeSession::start(options);
        for (int i = 1; i < argc; ++i) {
            const QString path = QString::fromLocal8Bit(argv[i]);
            try {
                docbuild::DocReader reader(*session, path);
                std::printf("== %s\n%s", argv[i], qPrintable(reader.dump()));
            } catch (const engine::EngineError& e) {
                std::fprintf(stderr, "%s: %s\n", argv[i], e.what());
                status = 1;
            }
        }
        session->quit();
    } catch (const engine::EngineError& e) {
        std::fprintf(stderr, "docbuild_dump: %s\n", e.what());
        return 1;
    }
    return status;
}
