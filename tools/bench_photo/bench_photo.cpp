// The peak memory of this program (the offices are processes of their own
// and not counted) while a card is made from a very large photo through the
// window's own run: the photo's header check, the office's insertion, the
// card saved, its page picture and the picture read back.
//
//   bench_photo [MEGAPIXELS] [DESIGN]     (200 and 0 by default)
//
// The photo is made first by a child process of its own, whose memory does
// not count; the card is then made in a second child, which reports its own
// peak resident memory when it is done.

#include "files.h"
#include "support/tool_support.h"
#include "generation_run.h"
#include "lo_backend.h"
#include "page_export.h"
#include "picture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>


using namespace marigal;

namespace {

struct Stand : RunWindow, RunPreview {
    engine::Backend* backend = nullptr;
    Modal* modal = nullptr;
    int design = 0;
    QString photo;
    QImage picture;
    QString card;

    int DesignIndex() override { return design; }
    QString PhotoPath() override { return photo; }
    QString Message() override { return QStringLiteral("Happy birthday!"); }
    void SetPointer(MousePointer) override {}
    void SaveDocAsJPG(const QString& inFile) override
    {
        marigal::SaveDocAsJPG(*backend, *modal, inFile, PictureFit{QSize(9270, 7365), 96});
    }
    void Hide() override {}
    void DrainInput() override {}
    void SetPicture(const QImage& p) override { picture = p; }
    void SetWordFile(const QString& path) override { card = path; }
    void Show() override {}
};

int MakePhoto(const char* path, double megapixels)
{
    const int w = int(std::lround(std::sqrt(megapixels * 1e6 * 4 / 3)));
    const int h = int(std::lround(w * 3.0 / 4));
    QImage photo(w, h, QImage::Format_RGB888);
    if (photo.isNull()) return 1;
    QPainter p(&photo);
    QLinearGradient sky(0, 0, w, h);
    sky.setColorAt(0, QColor(60, 120, 220));
    sky.setColorAt(1, QColor(240, 180, 90));
    p.fillRect(photo.rect(), sky);
    p.end();
    // A camera's grain, so that the file is as large as a real photo's
    // (about half a byte per pixel) rather than a smooth gradient's.
    quint32 seed = 12345;
    for (int y = 0; y < h; ++y) {
        uchar* line = photo.scanLine(y);
        for (int x = 0; x < w * 3; ++x) {
            seed = seed * 1664525u + 1013904223u;
            line[x] = uchar(std::clamp(int(line[x]) + int(seed >> 26) - 32, 0, 255));
        }
    }
    return photo.save(QString::fromLocal8Bit(path), "JPG", 85) ? 0 : 1;
}

int MakeCard(const char* path, int design)
{
    engine::LibreOfficeBackend backend;
    tools::StderrModal modal;
    Stand w;
    w.backend = &backend;
    w.modal = &modal;
    w.design = design;
    w.photo = QString::fromLocal8Bit(path);
    // The main window's hidden holder, as at start-up.
    LoadPicture(w.photo, QSize(48, 39));
    bool busy = false;
    GenerationRun run(backend, modal, w, w, QStringLiteral("Marigal"));
    run.PushButton6_Click(busy);
    RemoveFile(w.card);
    RemoveRunFolders();
    std::printf("%.1f\n", tools::OwnPeakMb());
    return modal.messages == 0 && !w.picture.isNull() ? 0 : 1;
}

// Runs this program again with `args`; returns its exit status, what it
// printed and its time (s).
struct Child {
    int status = -1;
    QString output;
    double seconds = 0;
};

Child Run(const QStringList& args)
{
    QElapsedTimer clock;
    clock.start();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), args);
    child.waitForFinished(-1);
    return {child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1,
            QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed(), clock.elapsed() / 1000.0};
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && std::strcmp(argv[1], "--make-photo") == 0) {
        QGuiApplication app(argc, argv);
        return MakePhoto(argv[2], std::atof(argv[3]));
    }
    if (argc == 4 && std::strcmp(argv[1], "--make-card") == 0) {
        QGuiApplication app(argc, argv);
        return MakeCard(argv[2], std::atoi(argv[3]));
    }
    QCoreApplication app(argc, argv);
    const double megapixels = argc > 1 ? std::atof(argv[1]) : 200;
    const int design = argc > 2 ? std::atoi(argv[2]) : 0;
    QTemporaryDir dir;
    const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
    const Child made = Run({QStringLiteral("--make-photo"), photo, QString::number(megapixels)});
    if (made.status != 0) {
        std::fprintf(stderr, "could not make a %.0f MP photo\n", megapixels);
        return 1;
    }
    std::printf("photo: %.0f megapixels, %.1f MB file\n", megapixels, QFileInfo(photo).size() / 1048576.0);
    const Child card = Run({QStringLiteral("--make-card"), photo, QString::number(design)});
    std::printf("card of design %d: %s in %.1f s, this program's own peak memory %.0f MB (offices not counted)\n",
                design, card.status == 0 ? "made" : "FAILED", card.seconds, card.output.toDouble());
    return card.status;
}
