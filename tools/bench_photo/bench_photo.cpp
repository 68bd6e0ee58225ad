// The peak memory of this program (the offices are processes of their own
// and not counted) and the time while a card is made from a very large photo
// through the window's own run: the photo read and, where it must be,
// turned or converted, the office's insertion, the card saved, its page
// picture and the picture read back.
//
//   bench_photo [MEGAPIXELS] [DESIGN] [KIND...]     (200, 0 and jpeg by default)
//
// KIND is the photo's kind: jpeg, jpeg3 / jpeg6 / jpeg8 (a JPEG with that
// orientation tag, a phone's portrait shot for 6 and 8), twin3 / twin6 /
// twin8 (the same file without its tag), heic (a grid of 512-pixel tiles, as
// a phone writes it), heic1 (the same as one single picture), avif, webp, tiff
// or png, all of one scene. With several, each card's time is also given as a
// ratio to the first one's. A HEIC or AVIF photo is made as large as a phone's
// (about a fifth of a byte a pixel) and takes minutes to encode.
// Each photo is made first by a child process of its own, whose memory does
// not count; each card is then made in a second child, which reports its own
// peak resident memory when it is done.

#include "cardgen/card_photo.h"
#include "cardgen/catalogue.h"
#include "cardgen/generation_run.h"
#include "cardgen/page_export.h"
#include "common/files.h"
#include "photo/picture.h"
#include "engine/libreoffice/lo_backend.h"
#include "tools/support/sample_photos.h"
#include "tools/support/tool_support.h"

#include <QCoreApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
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
#include <vector>


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

QImage Scene(double megapixels)
{
    const int w = int(std::lround(std::sqrt(megapixels * 1e6 * 4 / 3)));
    const int h = int(std::lround(w * 3.0 / 4));
    QImage photo(w, h, QImage::Format_RGB888);
    if (photo.isNull()) return photo;
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
    return photo;
}

int MakePhoto(const char* path, double megapixels, const QString& kind)
{
    QImage scene = Scene(megapixels);
    if (scene.isNull()) return 1;
    const QString file = QString::fromLocal8Bit(path);
    // As a phone writes it: tiles that a reader decodes in parallel.
    if (kind == "heic") return samples::WriteHeifGrid(scene, file, 512, 50) ? 0 : 1;
    if (kind == "heic1" || kind == "avif")
        return samples::WriteHeif(scene, file, kind == "heic1" ? samples::HeifCodec::Hevc : samples::HeifCodec::Av1, 50)
                   ? 0
                   : 1;
    if ((kind.startsWith("jpeg") || kind.startsWith("twin")) && kind.size() > 4) {
        const int orientation = kind.mid(4).toInt();
        // The same scene as the camera stores it for that tag.
        scene = samples::StoredFor(scene, orientation);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!scene.save(&buffer, "JPG", 85)) return 1;
        // The twin: the very same file without the tag (an Exif block telling 1).
        const QByteArray tagged = samples::WithOrientation(bytes, kind.startsWith("twin") ? 1 : orientation);
        QFile out(file);
        return out.open(QIODevice::WriteOnly) && out.write(tagged) == tagged.size() ? 0 : 1;
    }
    const QByteArray format = kind == "jpeg" ? "JPG" : kind.toLatin1();
    return scene.save(file, format.constData(), kind == "webp" ? 85 : -1) ? 0 : 1;
}

// The photo made ready as a card of `design` takes it, alone: its time and
// this program's peak memory.
int Prepare(const char* path, int design)
{
    QTemporaryDir folder;
    QElapsedTimer clock;
    clock.start();
    const auto made = PrepareCardPhoto(QString::fromLocal8Bit(path), folder.path(), design, PhotoFit::Fill);
    std::printf("%.3f %.1f\n", clock.elapsed() / 1000.0, tools::OwnPeakMb());
    return made.empty() ? 1 : 0;
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
    if (!w.card.isEmpty()) RemoveFile(w.card);
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

// bench_photo --prepare MEGAPIXELS DESIGN KIND...: the photo's preparation
// alone, five times each, the median and range of its time and its peak memory.
int PrepareOnly(int argc, char** argv)
{
    const double megapixels = std::atof(argv[2]);
    const QString design = QString::fromLatin1(argv[3]);
    QTemporaryDir dir;
    int status = 0;
    for (int i = 4; i < argc; ++i) {
        const QString kind = QString::fromLatin1(argv[i]);
        const QString photo = dir.filePath(QStringLiteral("photo-%1.%2").arg(kind, kind.left(4)));
        if (Run({QStringLiteral("--make-photo"), photo, QString::number(megapixels), kind}).status != 0) {
            std::fprintf(stderr, "could not make a %.0f MP %s photo\n", megapixels, qPrintable(kind));
            return 1;
        }
        std::vector<double> seconds, peaks;
        for (int round = 0; round < 5; ++round) {
            const Child c = Run({QStringLiteral("--prepare-child"), photo, design});
            status |= c.status;
            const QStringList f = c.output.split(QLatin1Char(' '));
            if (c.status != 0 || f.size() != 2) {
                std::fprintf(stderr, "%s: preparation failed\n", qPrintable(kind));
                return 1;
            }
            seconds.push_back(f[0].toDouble());
            peaks.push_back(f[1].toDouble());
        }
        std::sort(seconds.begin(), seconds.end());
        std::sort(peaks.begin(), peaks.end());
        std::printf("%-6s %.0f megapixels, %.1f MB file, design %s: prepared in %.3f s (%.3f-%.3f), peak memory %.0f MB\n",
                    qPrintable(kind), megapixels, QFileInfo(photo).size() / 1048576.0, qPrintable(design), seconds[2],
                    seconds.front(), seconds.back(), peaks[2]);
        std::fflush(stdout);
        QFile::remove(photo);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    SetDesignFolder(QStringLiteral(MARIGAL_APP_DIR "/designs"));
    if (argc == 5 && std::strcmp(argv[1], "--make-photo") == 0) {
        QGuiApplication app(argc, argv);
        return MakePhoto(argv[2], std::atof(argv[3]), QString::fromLatin1(argv[4]));
    }
    if (argc == 4 && std::strcmp(argv[1], "--make-card") == 0) {
        QGuiApplication app(argc, argv);
        return MakeCard(argv[2], std::atoi(argv[3]));
    }
    if (argc == 4 && std::strcmp(argv[1], "--prepare-child") == 0) {
        QGuiApplication app(argc, argv);
        return Prepare(argv[2], std::atoi(argv[3]));
    }
    QCoreApplication app(argc, argv);
    if (argc >= 4 && std::strcmp(argv[1], "--prepare") == 0) return PrepareOnly(argc, argv);
    const double megapixels = argc > 1 ? std::atof(argv[1]) : 200;
    const int design = argc > 2 ? std::atoi(argv[2]) : 0;
    QStringList kinds;
    for (int i = 3; i < argc; ++i) kinds << QString::fromLatin1(argv[i]);
    if (kinds.isEmpty()) kinds << QStringLiteral("jpeg");
    QTemporaryDir dir;
    int status = 0;
    double first = 0;
    for (const QString& kind : kinds) {
        const QString photo = dir.filePath(QStringLiteral("photo-%1.%2").arg(kind, kind.left(4)));
        const Child made = Run({QStringLiteral("--make-photo"), photo, QString::number(megapixels), kind});
        if (made.status != 0) {
            std::fprintf(stderr, "could not make a %.0f MP %s photo\n", megapixels, qPrintable(kind));
            return 1;
        }
        const Child card = Run({QStringLiteral("--make-card"), photo, QString::number(design)});
        if (kind == kinds.first()) first = card.seconds;
        std::printf("%-6s %.0f megapixels, %.1f MB file: card of design %d %s in %.1f s (%.2fx), this program's own "
                    "peak memory %.0f MB (offices not counted)\n",
                    qPrintable(kind), megapixels, QFileInfo(photo).size() / 1048576.0, design,
                    card.status == 0 ? "made" : "FAILED", card.seconds, first > 0 ? card.seconds / first : 1.0,
                    card.output.toDouble());
        std::fflush(stdout);
        status |= card.status;
        QFile::remove(photo);
    }
    return status;
}
