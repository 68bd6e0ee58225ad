// The peak memory of this program (the offices are processes of their own
// and not counted) while a card is made from a very large photo through the
// window's own run: the photo's header check, the office's insertion, the
// card saved, its page picture and the picture read back.
//
//   bench_photo [MEGAPIXELS] [DESIGN]     (200 and 0 by default)
//
// The photo is made first by a child process of its own, whose memory does
// not count; the card is then made in a second child, whose peak resident
// memory the kernel reports when it ends.

#include "files.h"
#include "generation_run.h"
#include "lo_backend.h"
#include "page_export.h"
#include "picture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace marigal;

namespace {

// Reports every message instead of showing a box.
class PrintingModal : public Modal {
public:
    MsgResult message(const QString& text, const QString&, MsgButtons, MsgIcon) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        ++messages;
        return MsgResult::Ok;
    }
    QString openFile(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&) override { return {}; }
    int messages = 0;
};

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
    return photo.save(QString::fromLocal8Bit(path), "JPG", 85) ? 0 : 1;
}

int MakeCard(const char* path, int design)
{
    engine::LibreOfficeBackend backend;
    PrintingModal modal;
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
    return modal.messages == 0 && !w.picture.isNull() ? 0 : 1;
}

// Runs this program again with `args`; returns its exit status, its peak
// resident memory (MB) and its time (s).
struct Child {
    int status = -1;
    double peakMb = 0, seconds = 0;
};

Child Run(const QStringList& args)
{
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        QByteArrayList owned;
        std::vector<char*> argv;
        owned << QFile::encodeName(QCoreApplication::applicationFilePath());
        for (const QString& a : args) owned << a.toLocal8Bit();
        for (QByteArray& a : owned) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss / 1024.0, clock.elapsed() / 1000.0};
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
    std::printf("card of design %d: %s in %.1f s, this program's peak memory %.0f MB\n", design,
                card.status == 0 ? "made" : "FAILED", card.seconds, card.peakMb);
    return card.status;
}
