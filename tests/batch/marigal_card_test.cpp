// The command, as a user runs it: cards of every design, usage errors, an
// existing output, a list with a bad row, and a stop in the middle; and
// nothing left behind.

#include "cardgen/card_photo.h"
#include "cardgen/catalogue.h"
#include "photo/picture.h"
#include "engine/libreoffice/lo_backend.h"
#include "engine/libreoffice/office_session.h"
#include "tests/support/picture_check.h"
#include "tests/support/temp_env.h"
#include "tools/support/hostile_files.h"
#include "tools/docbuild/doc_reader.h"
#include "tools/make_designs/designs.h"
#include "tools/support/sample_photos.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>
#include <poppler-qt6.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <set>
#include <thread>
#include <tuple>

#include <sys/stat.h>

using namespace marigal;

namespace {

const QColor kMagenta(230, 20, 200);

struct Ran {
    int status;
    QString out, err;
};

class MarigalCard : public ::testing::Test {
protected:
    QTemporaryDir dir, temp;

    void SetUp() override { ::chmod(QFile::encodeName(temp.path()).constData(), 0700); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TEMP", temp.path());
        env.remove("DISPLAY");
        return env;
    }

    Ran run(const QStringList& args)
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(MARIGAL_APP_DIR "/marigal-card"), args);
        p.waitForFinished(180000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

    // As an ordinary user, who cannot write everywhere root can: in `folder`,
    // a folder of that user's with a home and a working folder in it.
    Ran runAsUser(const QString& folder, const QStringList& args)
    {
        QDir(folder).mkpath("home");
        QDir(folder).mkpath("temp");
        QProcessEnvironment env = environment();
        env.insert("HOME", folder + "/home");
        env.insert("TEMP", folder + "/temp");
        env.insert("TMPDIR", folder + "/temp");
        for (const char* xdg : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"})
            env.remove(xdg);
        QStringList command{QStringLiteral(MARIGAL_APP_DIR "/marigal-card")};
        if (::geteuid() == 0) {
            QProcess::execute("chown", {"-R", "65534:65534", folder});
            QProcess::execute("chmod", {"o+x", dir.path()});
            command = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + command;
        }
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(folder);
        p.start(::geteuid() == 0 ? QStringLiteral("setpriv") : command.takeFirst(), command + args);
        p.waitForFinished(180000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

    QString photo()
    {
        QImage image(1200, 900, QImage::Format_RGB32);
        image.fill(kMagenta);
        const QString path = dir.filePath("ann.jpg");
        image.save(path, "JPG", 95);
        return path;
    }

    // Nothing of the command's own left: no working folder, no office.
    void expectNothingLeft(qint64 pid)
    {
        EXPECT_EQ(QDir(temp.path()).entryList({"marigal-run-*"}, QDir::Dirs), QStringList());
        const QByteArray pipe = QStringLiteral("pipe,name=marigal-%1-").arg(pid).toUtf8();
        for (const QString& name : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (!test::ReadFile("/proc/" + name + "/cmdline").contains(pipe)) continue;
            const QByteArray stat = test::ReadFile("/proc/" + name + "/stat");
            const QByteArray state = stat.mid(stat.lastIndexOf(')') + 2, 1);
            EXPECT_TRUE(state == "Z" || state == "X") << "office " << name.toStdString() << " left running";
        }
    }
};

int MagentaPixels(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            n += std::abs(c.red() - kMagenta.red()) < 40 && std::abs(c.green() - kMagenta.green()) < 40 &&
                 std::abs(c.blue() - kMagenta.blue()) < 40;
        }
    return n;
}

}  // namespace

TEST_F(MarigalCard, PhotosOfEveryShapeCoverTheirFramesWholeAndUnstretched)
{
    // Each design with a tall, a wide, a square and a panoramic photo, and
    // one wide photo whole: a checkerboard, whose squares show a stretch.
    const std::pair<const char*, QSize> shapes[] = {
        {"tall", QSize(1200, 1600)}, {"wide", QSize(1920, 1080)}, {"square", QSize(1400, 1400)}, {"panorama", QSize(2400, 800)}};
    QString list = "design,message,photo,output,picture,fit\n";
    for (const auto& [name, size] : shapes) {
        test::CheckerPhoto(size, 40).save(dir.filePath(QStringLiteral("%1.png").arg(name)));
        for (int design = 0; design < 6; ++design)
            list += QStringLiteral("%1,Hi,%2.png,%1-%2.doc,%1-%2.png,\n").arg(design).arg(name);
    }
    for (int design = 0; design < 5; ++design) list += QStringLiteral("%1,Hi,wide.png,%1-whole.doc,%1-whole.png,whole\n").arg(design);
    test::WriteFile(dir.filePath("list.csv"), list.toUtf8());
    const Ran r = run({"--batch", "list.csv", "--dpi", "100"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();

    for (int design = 0; design < 6; ++design) {
        SCOPED_TRACE(design);
        const std::vector<PhotoPlace> places = PhotoPlaces(design);
        std::vector<QRect> first;
        for (const auto& [name, size] : shapes) {
            SCOPED_TRACE(name);
            const QImage card(dir.filePath(QStringLiteral("%1-%2.png").arg(design).arg(name)));
            ASSERT_FALSE(card.isNull());
            // Pages side by side: the card picture is one page high.
            const double perUnit = card.height() / (design == 1 ? 21590.0 : 17780.0);
            const double pageW = (design == 1 ? 27940 : 12700) * perUnit, pageH = card.height();
            const std::vector<test::InkArea> areas = test::PhotoAreas(card, 200);
            ASSERT_EQ(areas.size(), places.size());
            std::vector<QRect> boxes;
            for (size_t i = 0; i < areas.size(); ++i) {
                const test::InkArea& a = areas[i];
                const QSize room = places[i].room;
                // The photo covers its place: the room's size, no mat, no design picture in it.
                EXPECT_NEAR(a.box.width(), room.width() * perUnit, pageW * 0.02);
                EXPECT_NEAR(a.box.height(), room.height() * perUnit, pageH * 0.02);
                EXPECT_GE(a.filled, 0.97);
                EXPECT_NEAR(a.squareness, 1.0, 0.1);  // never stretched
                boxes.push_back(a.box);
            }
            // Every shape takes the same area (each edge within 2% of the card).
            if (first.empty()) first = boxes;
            for (size_t i = 0; i < boxes.size(); ++i)
                for (const auto& [edge, other, tolerance] :
                     {std::tuple(boxes[i].left(), first[i].left(), pageW), std::tuple(boxes[i].right(), first[i].right(), pageW),
                      std::tuple(boxes[i].top(), first[i].top(), pageH), std::tuple(boxes[i].bottom(), first[i].bottom(), pageH)})
                    EXPECT_NEAR(edge, other, tolerance * 0.02);
        }
        // The saved card, opened by the office, shows the same: nothing of the
        // design's own pictures beside or below the photo.
        {
            auto session = engine::lo::OfficeSession::start({});
            const QString pdf = dir.filePath(QStringLiteral("%1-reopened.pdf").arg(design));
            docbuild::DocReader(*session, dir.filePath(QStringLiteral("%1-wide.doc").arg(design))).exportPdf(pdf);
            session->quit();
            const QImage page = engine::RenderPdf(pdf, 400).convertToFormat(QImage::Format_RGB32);
            const std::vector<test::InkArea> reopened = test::PhotoAreas(page, 1000);
            ASSERT_EQ(reopened.size(), places.size());
            for (const test::InkArea& a : reopened) {
                EXPECT_GE(a.filled, 0.97);
                if (design == 5) continue;
                // Just below the photo, the frame's white mat: not a sliver of its picture.
                int coloured = 0, all = 0;
                for (int y = a.box.bottom() + 2; y <= a.box.bottom() + 4; ++y)
                    for (int x = a.box.left(); x <= a.box.right(); ++x, ++all) {
                        const QRgb p = page.pixel(x, y);
                        coloured += 3 * 255 - qRed(p) - qGreen(p) - qBlue(p) > 45;
                    }
                EXPECT_LT(coloured, all / 20);
            }
        }
        if (design == 5) continue;
        // The whole wide photo: its full width, a mat above and below it, in the middle.
        const QImage whole(dir.filePath(QStringLiteral("%1-whole.png").arg(design)));
        const std::vector<test::InkArea> areas = test::PhotoAreas(whole, 200);
        ASSERT_EQ(areas.size(), places.size());
        EXPECT_NEAR(areas[0].box.width(), first[0].width(), 3);
        EXPECT_LT(areas[0].box.height(), first[0].height() * 0.9);
        EXPECT_NEAR(areas[0].box.center().y(), first[0].center().y(), 3);
        EXPECT_NEAR(areas[0].squareness, 1.0, 0.1);
    }
}

namespace {

// A WordArt title of colour `ink` in `area` (fractions of a card picture).
struct Title {
    // Its strokes' mean thickness across over their mean thickness down: a
    // property of the face whatever its size, which a stretch changes.
    double strokes = 0;
    // The middle of the ink of each of its rows through the body of its
    // letters (ascenders and descenders alone lie anywhere), in pixels.
    std::vector<double> middles;
    // The rows whose ink ends at the title's rightmost column: under 20 where
    // a letter ends there, 45 and more (at 300 dpi) where the office cut one
    // straight.
    int endingAtTheRight = 0;
};

Title ReadTitle(const QImage& card, const QColor& ink, const QRectF& area)
{
    const QImage image = card.convertToFormat(QImage::Format_RGB32);
    const QRect box(int(area.x() * image.width()), int(area.y() * image.height()), int(area.width() * image.width()),
                    int(area.height() * image.height()));
    const auto inked = [&](int x, int y) {
        const QColor c = image.pixelColor(x, y);
        return std::abs(c.red() - ink.red()) + std::abs(c.green() - ink.green()) + std::abs(c.blue() - ink.blue()) < 90;
    };
    const auto meanRun = [&](bool across) {
        double sum = 0;
        int runs = 0;
        const int lines = across ? box.height() : box.width(), steps = across ? box.width() : box.height();
        for (int l = 0; l < lines; ++l) {
            int length = 0;
            for (int s = 0; s <= steps; ++s) {
                const bool on = s < steps && (across ? inked(box.left() + s, box.top() + l) : inked(box.left() + l, box.top() + s));
                if (on) ++length;
                else if (length > 0) sum += length, ++runs, length = 0;
            }
        }
        return runs ? sum / runs : 0.0;
    };
    Title t;
    t.strokes = meanRun(true) / std::max(1e-9, meanRun(false));
    struct Row {
        int left = -1, right = -1, count = 0;
    };
    std::vector<Row> rows;
    int most = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        Row r;
        for (int x = box.left(); x <= box.right(); ++x)
            if (inked(x, y)) {
                if (r.left < 0) r.left = x;
                r.right = x;
                ++r.count;
            }
        rows.push_back(r);
        most = std::max(most, r.count);
    }
    int right = -1;
    for (const Row& r : rows) {
        if (r.count * 10 > most * 4) t.middles.push_back((r.left + r.right) / 2.0);
        right = std::max(right, r.right);
    }
    t.endingAtTheRight = int(std::count_if(rows.begin(), rows.end(), [&](const Row& r) { return r.right == right; }));
    return t;
}

}  // namespace

TEST_F(MarigalCard, TitlesKeepTheirLettersProportionsAndCentreTheirLines)
{
    // The same words once and three times: the longer title is smaller, not
    // squeezed; a title of three lines has each line in the middle, and its
    // widest line's last letter whole above a line whose first reaches back
    // left.
    const QString shortTitle = "Happy birthday Ann!";
    const QString longTitle = "Happy birthday Ann! Happy birthday Ann! Happy birthday Ann!";
    const QString threeLines = "Dear Ann,\nhappy birthday!\nWith love from all of us";
    const struct {
        int design;
        QColor ink;
        QRectF box;  // the title's place on the card, in fractions of it
    } titles[] = {{3, QColor(200, 70, 110), QRectF(0.1, 0.02, 0.8, 0.18)},
                  {4, QColor(192, 80, 106), QRectF(0.16, 0.03, 0.68, 0.11)}};
    for (const auto& t : titles) {
        SCOPED_TRACE(t.design);
        std::map<QString, Title> read;
        for (const QString& message : {shortTitle, longTitle, threeLines}) {
            SCOPED_TRACE(message.toStdString());
            const QString picture = dir.filePath("title.png");
            const Ran r = run({"--design", QString::number(t.design), "--message", message, "--output",
                               dir.filePath("title.doc"), "--picture", picture, "--dpi", "300", "--force"});
            ASSERT_EQ(r.status, 0) << r.err.toStdString();
            const QImage card(picture);
            read[message] = ReadTitle(card, t.ink, t.box);
            ASSERT_GT(read[message].middles.size(), 20u);
            // Each line's middle at the title's (a script's swashes put a row or two aside).
            std::vector<double> m = read[message].middles;
            std::sort(m.begin(), m.end());
            const double middle = m[m.size() / 2];
            const auto aside = std::count_if(m.begin(), m.end(), [&](double x) { return std::abs(x - middle) > card.width() * 0.03; });
            EXPECT_LE(aside, std::ptrdiff_t(m.size() / 10));
            EXPECT_LE(read[message].endingAtTheRight, 30);
        }
        EXPECT_NEAR(read[longTitle].strokes / read[shortTitle].strokes, 1.0, 0.2);
    }
}

namespace {

// The places a card's words take: where `words` differs from `blank`, the
// same card without them, each word (or the letters of one) a box grown
// by a little.
std::vector<QRect> WordBoxes(const QImage& words, const QImage& blank)
{
    const QImage a = words.convertToFormat(QImage::Format_RGB32), b = blank.convertToFormat(QImage::Format_RGB32);
    const int w = a.width(), h = a.height();
    std::vector<char> ink(size_t(w) * size_t(h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            ink[size_t(y * w + x)] = std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                                         std::abs(qBlue(p) - qBlue(q)) > 60;
        }
    // Letters a few pixels apart are one word.
    constexpr int kReach = 4;
    std::vector<QRect> boxes;
    std::vector<char> seen(ink.size(), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!ink[size_t(y * w + x)] || seen[size_t(y * w + x)]) continue;
            QRect box(x, y, 1, 1);
            std::vector<QPoint> todo{QPoint(x, y)};
            seen[size_t(y * w + x)] = 1;
            while (!todo.empty()) {
                const QPoint p = todo.back();
                todo.pop_back();
                box |= QRect(p, QSize(1, 1));
                for (int dy = -kReach; dy <= kReach; ++dy)
                    for (int dx = -kReach; dx <= kReach; ++dx) {
                        const int nx = p.x() + dx, ny = p.y() + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                        const size_t i = size_t(ny * w + nx);
                        if (!ink[i] || seen[i]) continue;
                        seen[i] = 1;
                        todo.push_back(QPoint(nx, ny));
                    }
            }
            if (box.width() * box.height() >= 16) boxes.push_back(box.adjusted(-2, -2, 2, 2) & a.rect());
        }
    return boxes;
}

// How much of `box` on `paper` differs plainly from the paper's own colour
// there: a motif (a flower, a heart), not a gradient.
double Busy(const QImage& paper, const QRect& box)
{
    std::vector<int> reds, greens, blues;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QRgb p = paper.pixel(x, y);
            reds.push_back(qRed(p)), greens.push_back(qGreen(p)), blues.push_back(qBlue(p));
        }
    const auto median = [](std::vector<int> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    const int r = median(reds), g = median(greens), b = median(blues);
    int off = 0;
    for (size_t i = 0; i < reds.size(); ++i)
        off += std::abs(reds[i] - r) + std::abs(greens[i] - g) + std::abs(blues[i] - b) > 60;
    return double(off) / double(reds.size());
}

}  // namespace

TEST_F(MarigalCard, EveryWordOfAMessageLiesOnPlainPaper)
{
    const QString messages[] = {"Happy birthday, dear Margaret!",
                                "Happy birthday, dear Margaret! With love from all of us, xx",
                                "Dear Margaret,\nhappy birthday!\nWith love from all of us"};
    QString list = "design,message,photo,output,picture\n";
    test::CheckerPhoto(QSize(1600, 1200), 40).save(dir.filePath("photo.png"));
    for (int design = 0; design < 6; ++design) {
        list += QStringLiteral("%1, ,photo.png,blank%1.doc,blank%1.png\n").arg(design);
        for (int m = 0; m < 3; ++m)
            list += QStringLiteral("%1,\"%2\",photo.png,words%1-%3.doc,words%1-%3.png\n").arg(design).arg(messages[m]).arg(m);
    }
    test::WriteFile(dir.filePath("list.csv"), list.toUtf8());
    const Ran r = run({"--batch", "list.csv", "--dpi", "100"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    for (int design = 0; design < 6; ++design) {
        SCOPED_TRACE(design);
        const QImage blank = QImage(dir.filePath(QStringLiteral("blank%1.png").arg(design))).convertToFormat(QImage::Format_RGB32);
        for (int m = 0; m < 3; ++m) {
            SCOPED_TRACE(messages[m].toStdString());
            const QImage words(dir.filePath(QStringLiteral("words%1-%2.png").arg(design).arg(m)));
            const std::vector<QRect> boxes = WordBoxes(words, blank);
            EXPECT_GE(boxes.size(), 4u);
            for (const QRect& box : boxes) EXPECT_LT(Busy(blank, box), 0.02) << box.x() << "," << box.y() << " " << box.width() << "x" << box.height();
        }
    }
}

TEST_F(MarigalCard, EveryPictureOfEveryDesignPrintsAtThreeHundredPixelsAnInch)
{
    // As a print shop checks a file: pdfimages lists each picture with the
    // resolution it prints at.
    for (int design = 1; design < 6; ++design) {
        SCOPED_TRACE(design);
        const QString pdf = dir.filePath(QStringLiteral("card%1.pdf").arg(design));
        ASSERT_EQ(run({"--design", QString::number(design), "--message", "Hi", "--output",
                       dir.filePath(QStringLiteral("card%1.doc").arg(design)), "--pdf", pdf}).status, 0);
        QProcess list;
        list.start("pdfimages", {"-list", pdf});
        ASSERT_TRUE(list.waitForFinished(60000));
        const QStringList lines = QString::fromUtf8(list.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        ASSERT_GT(lines.size(), 2);
        for (const QString& line : lines.mid(2)) {
            const QStringList f = line.simplified().split(' ');
            ASSERT_GE(f.size(), 14);
            EXPECT_GE(f[12].toInt(), 300) << line.toStdString();
            EXPECT_GE(f[13].toInt(), 300) << line.toStdString();
        }
    }
}

TEST_F(MarigalCard, APhotoThatPrintsBlurredIsSaidAndTheCardStillMade)
{
    test::CheckerPhoto(QSize(320, 240), 20).save(dir.filePath("small.jpg"));
    test::CheckerPhoto(QSize(3000, 2000), 100).save(dir.filePath("large.jpg"));
    test::WriteFile(dir.filePath("list.csv"), "design,message,photo,output\nHearts,Hi,small.jpg,small.doc\nHearts,Hi,large.jpg,large.doc\n");
    const Ran r = run({"--batch", "list.csv"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("small.doc")));
    // Hearts' frame, a little wider than 4:3, takes the photo's whole width.
    const int ppi = int(std::lround(320 / (PhotoPlaces(2)[0].room.width() / 2540.0)));
    EXPECT_EQ(r.err.trimmed().toStdString(),
              QStringLiteral("row 2: warning: %1: The photo is small for this design: it prints at %2 pixels per inch "
                             "and will look blurred.").arg(dir.filePath("small.jpg")).arg(ppi).toStdString());
}

TEST_F(MarigalCard, AListWritesAndReadsOnlyInItsFolderAndReplacesOnlyPlainFiles)
{
    // A list from somebody else, run with --force by an ordinary user.
    const QString root = dir.filePath("work");
    const QString list = root + "/list", outside = root + "/outside";
    QDir().mkpath(list + "/cards");
    QDir().mkpath(outside);
    test::CheckerPhoto(QSize(1600, 1200), 40).save(list + "/ann.jpg");
    test::CheckerPhoto(QSize(1600, 1200), 40).save(outside + "/eve.jpg");
    test::WriteFile(outside + "/victim.doc", "keep");
    QFile::link("../outside", list + "/away");
    QFile::link(outside + "/victim.doc", list + "/cards/link.doc");
    ASSERT_EQ(::mkfifo(QFile::encodeName(list + "/cards/pipe.doc").constData(), 0644), 0);
    test::WriteFile(list + "/guests.csv",
                    QStringLiteral("design,message,photo,output\n"
                                   "Hearts,ok,ann.jpg,cards/ok.doc\n"
                                   "Hearts,dots,ann.jpg,cards/../../outside/dots.doc\n"
                                   "Hearts,absolute,ann.jpg,%1/absolute.doc\n"
                                   "Hearts,through a link,ann.jpg,away/linked.doc\n"
                                   "Hearts,pipe,ann.jpg,cards/pipe.doc\n"
                                   "Hearts,link,ann.jpg,cards/link.doc\n"
                                   "Hearts,log,ann.jpg,/dev/stdout\n"
                                   "Hearts,photo above,../outside/eve.jpg,cards/eve.doc\n"
                                   "Hearts,photo elsewhere,%1/eve.jpg,cards/eve2.doc\n")
                        .arg(outside)
                        .toUtf8());
    const Ran r = runAsUser(root, {"--batch", list + "/guests.csv", "--force"});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    for (const QString& refused :
         {QStringLiteral("row 3: cards/../../outside/dots.doc is outside the list's folder\n"),
          QStringLiteral("row 4: %1/absolute.doc is outside the list's folder\n").arg(outside),
          QStringLiteral("row 5: away/linked.doc is outside the list's folder\n"),
          QStringLiteral("row 6: %1/cards/pipe.doc is a named pipe, not a file: it is not replaced\n").arg(list),
          QStringLiteral("row 7: %1/cards/link.doc is a symbolic link, not a file: it is not replaced\n").arg(list),
          QStringLiteral("row 8: /dev/stdout is outside the list's folder\n"),
          QStringLiteral("row 9: ../outside/eve.jpg is outside the list's folder\n"),
          QStringLiteral("row 10: %1/eve.jpg is outside the list's folder\n").arg(outside)})
        EXPECT_TRUE(r.out.contains(refused)) << refused.toStdString() << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("1 made, 8 failed"));
    // Nothing outside touched; the pipe and the link as they were.
    EXPECT_EQ(QDir(outside).entryList(QDir::Files), (QStringList{"eve.jpg", "victim.doc"}));
    EXPECT_EQ(test::ReadFile(outside + "/victim.doc"), "keep");
    EXPECT_TRUE(QFileInfo(list + "/cards/link.doc").isSymLink());
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(list + "/cards/pipe.doc").constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A list the user wrote: anywhere, but still only over plain files.
    const Ran trusted = runAsUser(root, {"--batch", list + "/guests.csv", "--force", "--trust-list"});
    EXPECT_TRUE(trusted.out.contains("6 made, 3 failed")) << trusted.out.toStdString();
    EXPECT_TRUE(QFileInfo::exists(outside + "/dots.doc"));
    EXPECT_TRUE(QFileInfo::exists(list + "/cards/eve2.doc"));
    EXPECT_EQ(test::ReadFile(outside + "/victim.doc"), "keep");
    expectNothingLeft(-1);
}

TEST_F(MarigalCard, ListsAndPhotosMadeToHurtAreRefusedByNameAndTheOthersMade)
{
    // As an ordinary user, lists and photos from somebody else: each is said
    // in words before it takes an office's memory or minutes (the bench
    // tools/bench_hostile times them).
    const QString root = dir.filePath("hostile");
    QDir().mkpath(root + "/photos");
    QDir().mkpath(root + "/cards");
    test::CheckerPhoto(QSize(1600, 1200), 40).save(root + "/photos/ann.jpg");
    ASSERT_TRUE(samples::WriteCornerXlsx(root + "/corner.xlsx"));
    ASSERT_TRUE(samples::WriteZipBombXlsx(root + "/bomb.xlsx"));
    ASSERT_TRUE(samples::WriteLinkedPictureOds(root + "/linked.ods", "http://127.0.0.1:9/x.png"));
    ASSERT_TRUE(samples::WriteLinkedPictureXlsx(root + "/linked.xlsx", "http://127.0.0.1:9/x.png"));
    ASSERT_TRUE(samples::WriteFifoList(root + "/fifo.ods"));
    ASSERT_TRUE(samples::WriteHeifBomb(root + "/photos/grid.heic"));
    ASSERT_TRUE(samples::WritePngBomb(root + "/photos/huge.png", 30000, 30000));
    // A valid photo of 36 megapixels, and a 5 MB message before an ordinary card.
    QImage large(6928, 5196, QImage::Format_ARGB32);
    large.fill(QColor(40, 120, 200, 255));
    QPainter(&large).drawImage(QRect(0, 0, 6928, 5196), test::CheckerPhoto(QSize(700, 520), 20));
    ASSERT_TRUE(large.save(root + "/photos/large.png"));
    ASSERT_TRUE(samples::WriteLongMessageCsv(root + "/long.csv", 5 << 20));
    test::WriteFile(root + "/photos.csv", "design,message,photo,output\n"
                                          "Hearts,Hi,photos/grid.heic,cards/grid.doc\n"
                                          "Hearts,Hi,photos/huge.png,cards/huge.doc\n"
                                          "Hearts,Hi,photos/large.png,cards/large.doc\n");
    const auto said = [&](const QString& list, const QString& why) {
        const Ran r = runAsUser(root, {"--batch", root + "/" + list});
        EXPECT_EQ(r.status, 2) << list.toStdString();
        EXPECT_EQ(r.err.toStdString(),
                  QStringLiteral("marigal-card: %1/%2: %3 (see marigal-card --help)\n").arg(root, list, why).toStdString());
    };
    said("corner.xlsx", "the sheet is too large (1,048,576 rows × 16,384 columns)");
    said("bomb.xlsx", "the spreadsheet is too large (1.5 GB unpacked; Marigal reads up to 200 MB)");
    const QString outside = "it shows a picture kept outside it (%1), which Marigal does not fetch: save the list without it";
    said("linked.ods", outside.arg("http://127.0.0.1:9/x.png"));
    said("linked.xlsx", outside.arg("http://127.0.0.1:9/x.png"));
    said("fifo.ods", outside.arg(QUrl::fromLocalFile(root + "/picture.png").toString()));

    const Ran photos = runAsUser(root, {"--batch", root + "/photos.csv"});
    EXPECT_TRUE(photos.out.contains(QStringLiteral("row 2: The photo is too large (32256 × 32256 pixels; Marigal takes up to "
                                                   "200 megapixels): %1/photos/grid.heic\n").arg(root)))
        << photos.out.toStdString();
    EXPECT_TRUE(photos.out.contains(QStringLiteral("row 3: The photo is too large (30000 × 30000 pixels; Marigal takes up to "
                                                   "200 megapixels): %1/photos/huge.png\n").arg(root)));
    EXPECT_TRUE(photos.out.contains("1 made, 2 failed")) << photos.out.toStdString();
    EXPECT_TRUE(QFileInfo::exists(root + "/cards/large.doc"));

    const Ran longMessage = runAsUser(root, {"--batch", root + "/long.csv"});
    EXPECT_TRUE(longMessage.out.contains("row 2: the message is too long for design Hearts\n")) << longMessage.out.toStdString();
    EXPECT_TRUE(longMessage.out.contains("1 made, 1 failed"));
    expectNothingLeft(-1);
}

TEST_F(MarigalCard, OneCardOfEachDesignHoldsTheMessageAndThePhoto)
{
    const QString jpg = photo();
    const QString message = QStringLiteral("Happy birthday,\ndear Ann!");
    auto session = engine::lo::OfficeSession::start({});
    for (int design = 0; design < 6; ++design) {
        SCOPED_TRACE(design);
        const QString card = dir.filePath(QString("card%1.doc").arg(design));
        const QString picture = dir.filePath(QString("card%1.png").arg(design));
        QStringList args{"--design", QString::number(design), "--message", message, "--photo", jpg,
                         "--output", card, "--picture", picture, "--dpi", "40"};
        if (design == 3) args << "--pdf" << dir.filePath("card3.pdf");
        const Ran r = run(args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString() << r.out.toStdString();
        QString texts;
        {
            docbuild::DocReader doc(*session, card);
            for (const auto& p : doc.paragraphs()) texts += p.text + '\n';
            for (const auto& f : doc.frames()) texts += f.text + '\n';
            for (const auto& o : doc.drawObjects())
                if (o.implementation != QLatin1String("SwXTextFrame")) texts += o.text + '\n';
        }
        texts.remove(QChar(0x2009));  // a WordArt line may start with thin spaces
        const int expected = (design == 1 || design == 3 || design == 4) ? 2 : 1;
        EXPECT_EQ(int(texts.count(message)), expected) << texts.toStdString();  // the line break kept
        EXPECT_GT(MagentaPixels(QImage(picture)), 50);  // the photo in its frame
    }
    EXPECT_TRUE(test::ReadFile(dir.filePath("card3.pdf")).startsWith("%PDF"));
    session->quit();
    engine::WaitForQuittingOffices();
}

TEST_F(MarigalCard, AUsageErrorIsOneLineAndExitStatusTwo)
{
    test::WriteFile(dir.filePath("nocolumn.csv"), "design,message,output\n0,a,a.doc\n");
    test::WriteFile(dir.filePath("twice.csv"), "design,message,photo,output\n1,a,,a.doc\n2,b,,a.doc\n");
    for (const QStringList& args :
         {QStringList{"--colour", "red"}, QStringList{"--design", "9", "--message", "a", "--output", "a.doc"},
          QStringList{"--design", "1", "--message", "a"}, QStringList{"--batch", "nocolumn.csv"},
          QStringList{"--batch", "twice.csv"}, QStringList{"--batch", "missing.csv"}, QStringList{"--jobs", "0"}}) {
        const Ran r = run(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("a.doc")));
}

TEST_F(MarigalCard, NoOfficeAtAllIsOneMessageAndExitStatusThree)
{
    // No place for the offices' profiles: under a plain file, which no one
    // can make a folder in.
    test::WriteFile(dir.filePath("plain"), "x");
    QByteArray list = "design,message,photo,output\n";
    for (int i = 0; i < 3; ++i) list += QStringLiteral("Hearts,Guest %1,,g%1.doc\n").arg(i).toUtf8();
    test::WriteFile(dir.filePath("list.csv"), list);
    QProcess p;
    QProcessEnvironment env = environment();
    env.insert("XDG_CACHE_HOME", dir.filePath("plain/cache"));
    QDir(temp.path()).mkdir("marigal-office-profiles");
    ::chmod(QFile::encodeName(temp.filePath("marigal-office-profiles")).constData(), 0);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(MARIGAL_APP_DIR "/marigal-card"), {"--batch", "list.csv"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    if (::geteuid() != 0) {  // root makes folders in a folder of mode 0 all the same
        EXPECT_EQ(p.exitCode(), 3) << err.toStdString();
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(QString::fromUtf8(p.readAllStandardOutput()).isEmpty());
    }
    ::chmod(QFile::encodeName(temp.filePath("marigal-office-profiles")).constData(), 0700);
}

TEST_F(MarigalCard, AnExistingOutputIsKeptUnlessForced)
{
    const QString card = test::WriteFile(dir.filePath("card.doc"), "someone's card");
    const QStringList args{"--design", "Hearts", "--message", "Hi", "--output", card};
    Ran r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains("File already exists")) << r.out.toStdString();
    EXPECT_EQ(test::ReadFile(card), "someone's card");
    r = run(args + QStringList{"--force"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_TRUE(test::ReadFile(card).startsWith("\xD0\xCF\x11\xE0"));  // a Word 97 document now
}

TEST_F(MarigalCard, AListWithABadRowMakesTheRestAndNamesIt)
{
    photo();
    test::WriteFile(dir.filePath("list.csv"), "design,message,photo,output\n"
                                              "0,Ann,ann.jpg,cards/ann.doc\n"
                                              "Hearts,\"Bob, with love\",,cards/bob.doc\n"
                                              "Meadow,Carl,gone.jpg,cards/carl.doc\n"
                                              "Clouds,Dora,ann.jpg,cards/dora.doc\n"
                                              "Flowers,Eve,list.csv,cards/eve.doc\n");
    QDir(dir.path()).mkdir("cards");
    QProcess p;
    p.setProcessEnvironment(environment());
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(MARIGAL_APP_DIR "/marigal-card"), {"--batch", "list.csv", "--jobs", "2"});
    ASSERT_TRUE(p.waitForFinished(180000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 1) << out.toStdString();
    EXPECT_TRUE(out.contains("row 4: Photo file does not exist.\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("row 6: Word cannot insert this file: it is not a picture.\n")) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression("3 made, 2 failed in [0-9.]+ s\n"))) << out.toStdString();
    // Said once: no log line repeats a row's error.
    EXPECT_EQ(p.readAllStandardError().toStdString(), "");
    EXPECT_EQ(QDir(dir.filePath("cards")).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"ann.doc", "bob.doc", "dora.doc"}));
    expectNothingLeft(p.processId());
}

TEST_F(MarigalCard, AStopInTheMiddleLeavesNothingHalfMade)
{
    const QString jpg = photo();
    QByteArray list = "design,message,photo,output\n";
    for (int i = 0; i < 40; ++i) list += QStringLiteral("Flowers,Guest %1,ann.jpg,cards/guest%1.doc\n").arg(i).toUtf8();
    test::WriteFile(dir.filePath("list.csv"), list);
    QDir(dir.path()).mkdir("cards");
    QProcess p;
    p.setProcessEnvironment(environment());
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(MARIGAL_APP_DIR "/marigal-card"), {"--batch", "list.csv", "--jobs", "2"});
    ASSERT_TRUE(p.waitForStarted());
    const qint64 pid = p.processId();
    // Once the first cards are there, in the middle of the next ones.
    for (int i = 0; i < 600 && QDir(dir.filePath("cards")).entryList(QDir::Files).size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(pid_t(pid), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 130);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QRegularExpression("\\d+ made, 0 failed, \\d+ not made in"))) << out.toStdString();
    // Whole cards or none: no half-written file, no file on its way.
    const QStringList left = QDir(dir.filePath("cards")).entryList(QDir::Files | QDir::Hidden);
    EXPECT_LT(left.size(), 40);
    for (const QString& name : left) {
        EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
        EXPECT_TRUE(test::ReadFile(dir.filePath("cards/" + name)).startsWith("\xD0\xCF\x11\xE0")) << name.toStdString();
    }
    expectNothingLeft(pid);
}

namespace {

// A word of a PDF's text, where the office laid it out (points, on its page).
struct PdfWord {
    QString text;
    QRectF box;
    int page;
};

std::vector<PdfWord> PdfWords(const QString& pdf)
{
    std::vector<PdfWord> words;
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdf);
    if (!doc) return words;
    for (int i = 0; i < doc->numPages(); ++i)
        for (const auto& box : doc->page(i)->textList()) words.push_back({box->text(), box->boundingBox(), i + 1});
    return words;
}

QRectF Points(const QRect& hundredthsOfMm)
{
    const double k = 72.0 / 2540;
    return QRectF(hundredthsOfMm.x() * k, hundredthsOfMm.y() * k, hundredthsOfMm.width() * k,
                  hundredthsOfMm.height() * k);
}

// The places a design writes its message into, as the design puts them.
std::vector<std::pair<int, QRectF>> MessagePlaces(engine::lo::OfficeSession& session, int design, const QString& scratch)
{
    static const char* const kPlaces[6][2] = {{"Text Box 2", nullptr},  {"Text Box 20", "Text Box 106"},
                                              {"Text Box 4", nullptr},  {"Text Box 30", nullptr},
                                              {"Text Box 3", nullptr},  {nullptr, nullptr}};
    const designs::DesignInfo info = designs::BuildDesign(session, DesignResourceId(design), scratch);
    std::vector<std::pair<int, QRectF>> places;
    if (design == 5) {
        // Above the photo: the page's text area, as high as the room the design keeps.
        const double margin = 2200 * 72.0 / 2540;
        places.push_back({1, QRectF(margin, margin, info.page.width() * 72.0 / 2540 - 2 * margin,
                                    kYellowFlowerMessageRoom)});
        return places;
    }
    for (const auto& o : info.objects)
        for (const char* name : kPlaces[design])
            if (name && o.name == QLatin1String(name)) places.push_back({o.page, Points(o.area)});
    return places;
}

// Each word of `message` is drawn whole inside each of the places: the
// office's own layout of the text, which puts a word it cuts off outside.
void ExpectWhole(const QString& pdf, const QString& message, const std::vector<std::pair<int, QRectF>>& places)
{
    const auto words = PdfWords(pdf);
    ASSERT_FALSE(words.empty()) << pdf.toStdString();
    for (const QString& word : message.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)) {
        for (const auto& [page, place] : places) {
            const bool inside = std::any_of(words.begin(), words.end(), [&](const PdfWord& w) {
                // A word's box is its font's, a little deeper than its line.
                return w.text == word && w.page == page &&
                       place.adjusted(-1, -1, 1, 1 + 0.15 * w.box.height()).contains(w.box);
            });
            EXPECT_TRUE(inside) << "\"" << word.toStdString() << "\" not drawn whole in its place on page " << page
                                << " of " << pdf.toStdString();
        }
    }
}

// The first row of a picture with the photo's colour in it.
int PhotoTop(const QImage& picture)
{
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); x += 3) {
            const QColor c = picture.pixelColor(x, y);
            if (std::abs(c.red() - kMagenta.red()) < 30 && std::abs(c.green() - kMagenta.green()) < 30 &&
                std::abs(c.blue() - kMagenta.blue()) < 30)
                return y;
        }
    return -1;
}

}  // namespace

TEST_F(MarigalCard, EveryMessageIsWholeOnEveryDesignsCardAndInItsSavedDocument)
{
    photo();
    const QStringList messages{
        "Congratulations!", "Dear Ann, thank you so much for the lovely flowers you sent!",
        "Dear Ann and Carl, thank you so much for the lovely flowers you sent for my birthday. They brighten up the "
        "whole room and remind me of our walks in the park last spring. With all my love, Bob and Cat",
        "Dear Ann,\nthank you for the flowers!\nLove, Bob"};
    QString list = "design,message,photo,output,pdf,picture\n";
    for (int design = 0; design < 6; ++design)
        for (int m = 0; m < messages.size(); ++m)
            list += QStringLiteral("%1,\"%2\",ann.jpg,cards/%1-%3.doc,cards/%1-%3.pdf,cards/%1-%3.png\n")
                        .arg(design)
                        .arg(messages[m])
                        .arg(m);
    test::WriteFile(dir.filePath("list.csv"), list.toUtf8());
    QDir(dir.path()).mkdir("cards");
    const Ran r = run({"--batch", "list.csv", "--jobs", "2", "--dpi", "50"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();

    auto session = engine::lo::OfficeSession::start({});
    for (int design = 0; design < 6; ++design) {
        const auto places = MessagePlaces(*session, design, dir.filePath("design.dot"));
        ASSERT_EQ(places.size(), design == 1 ? 2u : 1u) << design;
        std::set<int> photoTops;
        for (int m = 0; m < messages.size(); ++m) {
            SCOPED_TRACE(QStringLiteral("design %1, message %2").arg(design).arg(m).toStdString());
            const QString stem = dir.filePath(QStringLiteral("cards/%1-%2").arg(design).arg(m));
            // The PDF the card's picture is drawn from, and the saved card as the office prints it.
            ExpectWhole(stem + ".pdf", messages[m], places);
            {
                docbuild::DocReader saved(*session, stem + ".doc");
                saved.exportPdf(stem + "-saved.pdf");
            }
            ExpectWhole(stem + "-saved.pdf", messages[m], places);
            if (design == 5) photoTops.insert(PhotoTop(QImage(stem + ".png")));
        }
        // Whatever the message's length, the photo keeps its place.
        if (design == 5) {
            EXPECT_EQ(photoTops.size(), 1u);
            EXPECT_GT(*photoTops.begin(), 0);
        }
    }
    session->quit();
}

TEST_F(MarigalCard, EmojiAreDrawnOnTheCardsPictureAndInItsPdf)
{
    photo();
    const QString message = QString::fromUtf8("Happy birthday \xF0\x9F\x8E\x82 \xF0\x9F\x8E\x89 "
                                              "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"
                                              "\xE2\x80\x8D\xF0\x9F\x91\xA6");
    for (int design : {2, 5}) {
        SCOPED_TRACE(design);
        const QString pdf = dir.filePath(QStringLiteral("card%1.pdf").arg(design));
        const QString png = dir.filePath(QStringLiteral("card%1.png").arg(design));
        const Ran r = run({"--design", QString::number(design), "--message", message, "--photo", "ann.jpg", "--output",
                           dir.filePath(QStringLiteral("card%1.doc").arg(design)), "--pdf", pdf, "--picture", png,
                           "--dpi", "150"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QImage picture = QImage(png).convertToFormat(QImage::Format_RGB32);
        const std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdf);
        ASSERT_TRUE(doc);
        const QImage page = doc->page(0)->renderToImage(150, 150).convertToFormat(QImage::Format_RGB32);
        int emoji = 0;
        for (const PdfWord& w : PdfWords(pdf)) {
            if (w.text.toUcs4().isEmpty() || w.text.toUcs4().front() < 0x1F000) continue;
            ++emoji;
            // Ink inside the emoji's box: pixels far from the box's own background.
            for (const QImage* drawn : {&page, &picture}) {
                const QRect px(QPointF(w.box.topLeft() * 150 / 72).toPoint(), QPointF(w.box.bottomRight() * 150 / 72).toPoint());
                const QRgb ground = drawn->pixel(px.topLeft());
                int ink = 0;
                for (int y = px.top(); y <= px.bottom(); ++y)
                    for (int x = px.left(); x <= px.right(); ++x)
                        ink += std::abs(qGray(drawn->pixel(x, y)) - qGray(ground)) > 60;
                EXPECT_GT(ink, px.width() * px.height() / 20) << w.text.toStdString() << (drawn == &page ? " in the PDF" : " on the picture");
            }
        }
        EXPECT_GE(emoji, 3);  // the cake, the party popper, the family (as one or in its persons)
    }
}

TEST_F(MarigalCard, AMessageTooLongForADesignFailsItsCardAndWritesNone)
{
    photo();
    const QString novel = QString("A very long message that goes on and on. ").repeated(60);
    test::WriteFile(dir.filePath("list.csv"), QStringLiteral("design,message,photo,output\n"
                                                             "Flowers,\"%1\",ann.jpg,cards/long.doc\n"
                                                             "Flowers,Short,ann.jpg,cards/short.doc\n")
                                                  .arg(novel)
                                                  .toUtf8());
    QDir(dir.path()).mkdir("cards");
    const Ran r = run({"--batch", "list.csv"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains("row 2: the message is too long for design Flowers\n")) << r.out.toStdString();
    EXPECT_EQ(QDir(dir.filePath("cards")).entryList(QDir::Files | QDir::Hidden), QStringList{"short.doc"});
}

TEST_F(MarigalCard, PhotosOfEveryKindMakeCardsTaggedOnesUprightAndSharpADamagedOneNone)
{
    // A phone's portrait shot is the scene stored turned, with orientation 6,
    // at a phone's 12 megapixels; 3 is upside down, 8 the other quarter turn,
    // 5 turned and mirrored.
    const auto sceneFor = [](int tag) { return samples::FinePattern(tag == 6 ? QSize(4032, 3024) : QSize(1200, 900)); };
    const int tags[] = {6, 3, 8, 5};
    for (const int tag : tags) {
        QByteArray stored;
        QBuffer buffer(&stored);
        buffer.open(QIODevice::WriteOnly);
        samples::StoredFor(sceneFor(tag), tag).save(&buffer, "JPG", 95);
        test::WriteFile(dir.filePath(QStringLiteral("twin%1.jpg").arg(tag)), stored);
        test::WriteFile(dir.filePath(QStringLiteral("phone%1.jpg").arg(tag)), samples::WithOrientation(stored, tag));
    }
    const QImage small = samples::FinePattern(QSize(480, 360), 16);
    ASSERT_TRUE(samples::WriteHeif(small, dir.filePath("iphone.heic"), samples::HeifCodec::Hevc));
    ASSERT_TRUE(samples::WriteHeif(small, dir.filePath("web.avif"), samples::HeifCodec::Av1));
    small.save(dir.filePath("chat.webp"), "WEBP", 90);
    small.save(dir.filePath("scan.tif"), "TIFF");
    const QByteArray whole = test::ReadFile(dir.filePath("twin6.jpg"));
    test::WriteFile(dir.filePath("cut.jpg"), whole.left(whole.size() * 2 / 5));
    QString list = "design,message,photo,output\n";
    for (const char* name : {"phone6.jpg", "phone3.jpg", "phone8.jpg", "phone5.jpg", "iphone.heic", "web.avif",
                             "chat.webp", "scan.tif", "cut.jpg"})
        list += QStringLiteral("Hearts,Ann,%1,cards/%1.doc\n").arg(name);
    test::WriteFile(dir.filePath("list.csv"), list.toUtf8());
    QDir(dir.path()).mkdir("cards");
    const Ran r = run({"--batch", "list.csv", "--jobs", "2"});
    EXPECT_EQ(r.status, 1) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QRegularExpression("row 10: The picture is damaged \\(cut short or corrupt\\): \\S*cut.jpg\n")))
        << r.out.toStdString();
    EXPECT_EQ(QDir(dir.filePath("cards")).entryList(QDir::Files).size(), 8);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("cards/cut.jpg.doc")));

    // Each card holds its photo at its full width, cut to the frame (a 4:3
    // photo loses a few rows to Hearts' wider frame), upright, as sharp as
    // its untagged twin turned by hand.
    auto session = engine::lo::OfficeSession::start({});
    for (const int tag : tags) {
        SCOPED_TRACE(tag);
        std::vector<QImage> pictures;
        {
            docbuild::DocReader card(*session, dir.filePath(QStringLiteral("cards/phone%1.jpg.doc").arg(tag)));
            pictures = card.pictures();
        }
        const QSize size = sceneFor(tag).size();
        const auto embedded = std::find_if(pictures.begin(), pictures.end(), [&](const QImage& p) {
            return p.width() == size.width() && p.height() > size.height() * 0.95 && p.height() <= size.height();
        });
        ASSERT_NE(embedded, pictures.end()) << "no picture " << size.width() << " wide";
        const QImage upright = Upright(QImage(dir.filePath(QStringLiteral("twin%1.jpg").arg(tag))), tag);
        double nearest = 1;
        for (int y = 0; y + embedded->height() <= upright.height(); ++y)
            nearest = std::min(nearest, samples::MeanDifference(*embedded, upright.copy(0, y, size.width(), embedded->height())));
        EXPECT_LT(nearest, 0.02);
    }
    session->quit();
    expectNothingLeft(-1);
}

namespace {

// A CSV made into a spreadsheet by the office itself, as a user's would be.
QString Spreadsheet(const QString& csv, const char* format, const QString& profile)
{
    QProcess convert;
    convert.setWorkingDirectory(QFileInfo(csv).absolutePath());
    convert.start("soffice", {"--headless", "-env:UserInstallation=" + QUrl::fromLocalFile(profile).toString(),
                              "--convert-to", format, "--infilter=Text - txt - csv (StarCalc):44,34,76,1", csv});
    convert.waitForFinished(120000);
    return QFileInfo(csv).absolutePath() + "/" + QFileInfo(csv).completeBaseName() + "." + format;
}

int CountPages(const QString& pdf)
{
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdf);
    return doc ? doc->numPages() : -1;
}

}  // namespace

TEST_F(MarigalCard, ListsAsSpreadsheetsKeepThemMakeTheirCardsNamedByTheirRows)
{
    photo();
    // A blank row, a design as a number, and a photo that is not there on row 5.
    test::WriteFile(dir.filePath("guests.csv"), "Design,Message,Photo,Output\n"
                                                "2,Ann,ann.jpg,cards/ann.doc\n"
                                                ",,,\n"
                                                "Meadow,\"Bob, and all\",ann.jpg,cards/bob.doc\n"
                                                "3,Carl,gone.jpg,cards/carl.doc\n");
    QDir(dir.path()).mkdir("cards");
    for (const char* format : {"xlsx", "ods"}) {
        SCOPED_TRACE(format);
        const QString sheet = Spreadsheet(dir.filePath("guests.csv"), format, temp.filePath("convert-profile"));
        ASSERT_TRUE(QFileInfo::exists(sheet));
        const Ran r = run({"--batch", sheet, "--force"});
        EXPECT_EQ(r.status, 1) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.out.contains("row 5: Photo file does not exist.\n")) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains("2 made, 1 failed")) << r.out.toStdString();
        EXPECT_TRUE(QFileInfo::exists(dir.filePath("cards/ann.doc")) && QFileInfo::exists(dir.filePath("cards/bob.doc")));
        const Ran wrong = run({"--batch", sheet, "--sheet", "Guests 2027"});
        EXPECT_EQ(wrong.status, 2);
        EXPECT_TRUE(wrong.err.contains("no sheet \"Guests 2027\"")) << wrong.err.toStdString();
    }
}

TEST_F(MarigalCard, ALatin1ListIsRefusedByItsLineAndMadeRightWithItsEncoding)
{
    photo();
    QFile::rename(dir.filePath("ann.jpg"), dir.filePath(QString::fromUtf8("Müller.jpg")));
    QDir(dir.path()).mkdir("cards");
    test::WriteFile(dir.filePath("list.csv"), "design;message;photo;output\r2;Merci \xE0 bient\xF4t;M\xFCller.jpg;cards/m.doc\r");
    const Ran refused = run({"--batch", "list.csv"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.contains("line 2 is not UTF-8 text: save the list as CSV UTF-8, or give --encoding windows-1252"))
        << refused.err.toStdString();
    const Ran made = run({"--batch", "list.csv", "--encoding", "windows-1252", "--pdf-check"});
    EXPECT_EQ(made.status, 2);  // an unknown option is still a usage error
    const Ran r = run({"--batch", "list.csv", "--encoding", "windows-1252"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    auto session = engine::lo::OfficeSession::start({});
    QString text;
    {
        docbuild::DocReader card(*session, dir.filePath("cards/m.doc"));
        for (const auto& f : card.frames()) text += f.text;
    }
    session->quit();
    EXPECT_TRUE(text.contains(QString::fromUtf8("Merci à bientôt"))) << text.toStdString();
}

TEST_F(MarigalCard, AFailingCardKeepsTheFileItWasToReplace)
{
    const QString old = test::WriteFile(dir.filePath("old.doc"), "the card I made last year");
    const Ran r = run({"--design", "Hearts", "--message", "Hi", "--output", old, "--picture",
                       dir.filePath("missing-folder/x.png"), "--force"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(test::ReadFile(old), "the card I made last year");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.doc"});
}

TEST_F(MarigalCard, AStopWhileTheOfficesStartMakesNoCardAndASecondOneEndsItAtOnce)
{
    photo();
    QString list = "design,message,photo,output\n";
    for (int i = 0; i < 6; ++i) list += QStringLiteral("Hearts,Guest %1,ann.jpg,cards/g%1.doc\n").arg(i);
    test::WriteFile(dir.filePath("list.csv"), list.toUtf8());
    QDir(dir.path()).mkdir("cards");
    for (const bool twice : {false, true}) {
        SCOPED_TRACE(twice ? "two stops" : "one stop");
        // An office that never gets ready (a real one starts in a fraction of a
        // second here), stopped as soon as it runs.
        QProcessEnvironment env = environment();
        QDir(dir.path()).mkpath("slow");
        test::WriteFile(dir.filePath("slow/soffice"), "#!/bin/sh\nwhile :; do sleep 0.1; done\n");
        QFile::setPermissions(dir.filePath("slow/soffice"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("PATH", dir.filePath("slow") + ":" + env.value("PATH"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(MARIGAL_APP_DIR "/marigal-card"), {"--batch", "list.csv", "--jobs", "2"});
        ASSERT_TRUE(p.waitForStarted());
        const QByteArray pipe = QStringLiteral("pipe,name=marigal-%1-").arg(p.processId()).toUtf8();
        const auto officeRunning = [&pipe] {
            for (const QString& name : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                if (test::ReadFile("/proc/" + name + "/cmdline").contains(pipe)) return true;
            return false;
        };
        QElapsedTimer starting;
        starting.start();
        while (!officeRunning() && starting.elapsed() < 20000) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ::kill(pid_t(p.processId()), SIGINT);
        if (twice) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ::kill(pid_t(p.processId()), SIGINT);
        }
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 130);
        if (twice) {
            EXPECT_LT(clock.elapsed(), 2000);  // at once, not after the offices' start
        }
        EXPECT_EQ(QDir(dir.filePath("cards")).entryList(QDir::Files | QDir::Hidden), QStringList());
        for (int i = 0; i < 50; ++i) {
            if (!officeRunning()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_LT(i, 49) << "an office left running";
        }
    }
}

TEST_F(MarigalCard, TheCombinedPdfHoldsEveryMadeCardInTheListsOrder)
{
    photo();
    test::WriteFile(dir.filePath("list.csv"), "design,message,photo,output\n"
                                              "Clouds,First guest,ann.jpg,cards/1.doc\n"
                                              "Hearts,Second guest,gone.jpg,cards/2.doc\n"
                                              "Meadow,Third guest,ann.jpg,cards/3.doc\n"
                                              "Flowers,Fourth guest,ann.jpg,cards/4.doc\n");
    QDir(dir.path()).mkdir("cards");
    const Ran r = run({"--batch", "list.csv", "--jobs", "2", "--combined", "all.pdf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains("all.pdf: 3 cards, 4 pages")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("left out: row 3")) << r.out.toStdString();
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(dir.filePath("all.pdf"));
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->numPages(), 4);  // Clouds has two pages
    const QStringList expected{"First", "First", "Third", "Fourth"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(doc->page(i)->text(QRectF()).contains(expected[i])) << i;
        EXPECT_FALSE(doc->page(i)->text(QRectF()).contains("Second")) << i;
    }
    // Vector pages with their fonts, not pictures of them.
    EXPECT_FALSE(doc->fonts().isEmpty());
    // Never replaced without --force.
    const Ran again = run({"--batch", "list.csv", "--combined", "all.pdf"});
    EXPECT_EQ(again.status, 2);
    EXPECT_EQ(CountPages(dir.filePath("all.pdf")), 4);
}

TEST_F(MarigalCard, ShardsOfAListMakeEachOfItsCardsOnce)
{
    QString list = "design,message,photo,output\n";
    for (int i = 1; i <= 5; ++i) list += QStringLiteral("Hearts,Guest %1,,cards/g%1.doc\n").arg(i);
    test::WriteFile(dir.filePath("list.csv"), list.toUtf8());
    QDir(dir.path()).mkdir("cards");
    QStringList made;
    for (int k = 1; k <= 3; ++k) {
        const Ran r = run({"--batch", "list.csv", "--shard", QStringLiteral("%1/3").arg(k)});
        ASSERT_EQ(r.status, 0) << r.out.toStdString();
        for (const QString& line : r.out.split('\n'))
            if (line.contains(": made ")) made << QFileInfo(line.section(": made ", 1)).fileName();
    }
    made.sort();
    EXPECT_EQ(made, (QStringList{"g1.doc", "g2.doc", "g3.doc", "g4.doc", "g5.doc"}));
}
