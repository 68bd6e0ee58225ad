// The command, as a user runs it: cards of every design, usage errors, an
// existing output, a list with a bad row, and a stop in the middle; and
// nothing left behind.

#include "doc_reader.h"
#include "libreoffice/lo_backend.h"
#include "libreoffice/office_session.h"
#include "support/temp_env.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

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
