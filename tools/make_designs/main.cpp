// Writes the card designs and the program's generated pictures:
//
//   make_designs OUTDIR
//
// OUTDIR receives designs/design101.dot ... design106.dot, icon/marigal-*.png,
// HAND-M.CUR and Samples/sample1.jpg, laid out as under resources/. The
// output is the same on every run; only the times stored in the documents
// differ.

#include "tools/make_designs/designs.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>

using namespace marigal;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_designs OUTDIR\n");
        return 2;
    }
    try {
        // A profile of its own, so that the program's pool is left alone.
        QTemporaryDir profiles;
        engine::LibreOfficeOptions options;
        options.profileRoot = profiles.path();
        auto session = engine::lo::OfficeSession::start(options);
        designs::WriteAll(*session, QString::fromLocal8Bit(argv[1]));
        session->quit();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_designs: %s\n", e.what());
        return 1;
    }
    return 0;
}
