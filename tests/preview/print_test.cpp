// Printing the card from the preview through a printing system of the test's
// own: a private cupsd on a socket in the test's folder, with a virtual PDF
// printer that writes each job to a file there (never the machine's
// printers). Ctrl+P, the real print dialog accepted or cancelled, and the
// PDF the printer wrote read back.

#include "common/files.h"
#include "preview/form2.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"
#include "tests/support/window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <poppler-qt6.h>

#include <cups/cups.h>

#include <memory>
#include <thread>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

using namespace marigal;

namespace {

const char kPpd[] = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";
const QColor kFront(40, 90, 160), kInside(60, 140, 90);
const QString kInstructions = QStringLiteral("To make your card: print page 1");
constexpr double kDpi = 100;  // the printed sheets are read back at this
constexpr double kMm = 72 / 25.4;

// A card of two pages, 5 x 7 in, each filled with its colour to the edges,
// as the office draws most designs.
void WriteCardPdf(const QString& path)
{
    QPdfWriter pdf(path);
    pdf.setPageLayout(QPageLayout(QPageSize(QSizeF(5, 7), QPageSize::Inch), QPageLayout::Portrait, {}));
    pdf.setResolution(72);  // a painter's unit is a point
    QPainter p(&pdf);
    p.fillRect(QRectF(0, 0, 360, 504), kFront);
    p.setPen(Qt::white);
    p.drawText(QPointF(72, 72), "See you soon");
    pdf.newPage();
    p.fillRect(QRectF(0, 0, 360, 504), kInside);
    p.drawText(QPointF(72, 72), "Inside the card");
}

// A folded card as the Clouds design has it: a Letter sheet across holding a
// 10 x 7 in card, the printing instructions above it and the card's own
// corner marks round it.
void WriteFoldedCardPdf(const QString& path)
{
    QPdfWriter pdf(path);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Landscape, {}));
    pdf.setResolution(72);
    QPainter p(&pdf);
    const QRectF trim(0.5 * 72, 0.75 * 72, 10 * 72, 7 * 72);
    for (const QColor& colour : {kFront, kInside}) {
        if (colour == kInside) pdf.newPage();
        p.fillRect(trim, colour);
        p.setPen(QPen(Qt::black, 0.5));
        for (const double x : {trim.left(), trim.right()}) {
            for (const double y : {trim.top(), trim.bottom()}) {
                const double dx = x == trim.left() ? -1 : 1, dy = y == trim.top() ? -1 : 1;
                p.drawLine(QPointF(x + dx * 3 * kMm, y), QPointF(x + dx * 9 * kMm, y));
                p.drawLine(QPointF(x, y + dy * 3 * kMm), QPointF(x, y + dy * 9 * kMm));
            }
        }
        if (colour == kFront) {
            p.setFont(QFont("Liberation Sans", 8));
            p.setPen(QColor(110, 123, 139));
            p.drawText(QPointF(trim.left(), 22), kInstructions + ", then turn the sheet over and print page 2 on its back.");
        }
    }
}

// Where a printed sheet shows `colour`, in pixels at kDpi.
QRect Coloured(const QImage& sheet, const QColor& colour)
{
    QRect box;
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x) {
            const QColor c = sheet.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 16 && std::abs(c.green() - colour.green()) < 16 &&
                std::abs(c.blue() - colour.blue()) < 16)
                box |= QRect(x, y, 1, 1);
        }
    return box;
}

bool Dark(const QImage& sheet, int x, int y)
{
    return sheet.rect().contains(x, y) && qGray(sheet.pixel(x, y)) < 128;
}

// A line outside each of the card's corners, on the lines of its edges, at
// least from 4 to 10 mm out.
bool CropMarksRound(const QImage& sheet, const QRect& card)
{
    const int from = qRound(4 * kMm * kDpi / 72), to = qRound(10 * kMm * kDpi / 72);
    const auto near = [&](int x, int y, bool across) {
        for (int d = -2; d <= 2; ++d)
            if (Dark(sheet, across ? x : x + d, across ? y + d : y)) return true;
        return false;
    };
    for (const int x : {card.left(), card.right()})
        for (const int y : {card.top(), card.bottom()}) {
            const int dx = x == card.left() ? -1 : 1, dy = y == card.top() ? -1 : 1;
            for (int out = from; out <= to; ++out)
                if (!near(x + dx * out, y, true) || !near(x, y + dy * out, false)) return false;
        }
    return true;
}

class PrintTest : public test::WindowTest<Form2> {
protected:
    QString root, socket, out;
    QProcess cupsd;
    std::optional<test::ScopedEnv> server;

    Form2& make() override
    {
        Form2Services svc;
        svc.modal = &modal;
        svc.appFolder = appFolder;
        svc.showMainWindow = [] {};
        svc.endApplication = [this] { ++ended; };
        form = std::make_unique<Form2>(svc);
        return *form;
    }

    void SetUp() override
    {
        if (QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/sbin"}).isEmpty() || !QFile::exists(kPpd))
            GTEST_SKIP() << "no cupsd or no PDF printer driver (cups, cups-filters)";
        root = dir.filePath("cups");
        out = root + "/out";
        socket = root + "/cups.sock";
        for (const char* sub : {"spool", "cache", "state", "log", "tmp", "out"}) QDir().mkpath(root + "/" + sub);
        // Started by root, cupsd runs its filters and the file device as lp,
        // who must reach their folders; started by anyone else, as that user.
        QByteArray user = "lp", grp = "lp", system = "root";
        if (::geteuid() == 0) {
            for (const QString& path : {dir.path(), root})
                QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
            for (const char* sub : {"tmp", "out"}) ASSERT_EQ(::chown(QFile::encodeName(root + "/" + sub).constData(), 7, 7), 0);
        } else {
            const passwd* pw = ::getpwuid(::geteuid());
            const group* gr = ::getgrgid(::getegid());
            ASSERT_TRUE(pw && gr);
            user = pw->pw_name;
            grp = system = gr->gr_name;
        }
        test::WriteFile(root + "/cupsd.conf", ("Listen " + socket.toUtf8() + "\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                                               "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                               "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n"));
        const QByteArray r = root.toUtf8();
        test::WriteFile(root + "/cups-files.conf",
                        "ServerRoot " + r + "\nRequestRoot " + r + "/spool\nCacheDir " + r + "/cache\nStateDir " + r +
                            "/state\nTempDir " + r + "/tmp\nAccessLog " + r + "/log/access_log\nErrorLog " + r +
                            "/log/error_log\nPageLog " + r + "/log/page_log\nFileDevice Yes\nUser " + user + "\nGroup " +
                            grp + "\nSystemGroup " + system + "\nPrintcap " + r + "/printcap\n");
        cupsd.start("cupsd", {"-f", "-c", root + "/cupsd.conf", "-s", root + "/cups-files.conf"});
        ASSERT_TRUE(cupsd.waitForStarted());
        for (int i = 0; i < 100 && !QFile::exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(QFile::exists(socket)) << test::ReadFile(root + "/log/error_log").toStdString();
        server.emplace("CUPS_SERVER", QFile::encodeName(socket));
        ::cupsSetServer(nullptr);  // the client keeps the server it first met; this test's is another

        load();
        QImage picture(700, 250, QImage::Format_RGB32);
        picture.fill(Qt::white);
        picture.setDotsPerMeterX(3780);
        picture.setDotsPerMeterY(3780);
        form->SetPicture(picture);
        form->mWordFile = dir.filePath("tamlor12345678.doc");
        WriteCardPdf(CardPdfPath(form->mWordFile));  // a test of another card writes its own over it
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        ASSERT_EQ(modal.errorBoxes(), std::vector<QString>{});
    }

    void TearDown() override
    {
        if (cupsd.state() != QProcess::NotRunning) {
            cupsd.terminate();
            cupsd.waitForFinished(10000);
        }
    }

    int admin(const QString& tool, const QStringList& args)
    {
        QProcess p;
        p.start(tool, QStringList{"-h", socket} + args);
        p.waitForFinished(20000);
        return p.exitCode();
    }
    // The virtual printer, its paper `media` unless the dialog says otherwise.
    void addPrinter(const QString& media)
    {
        ASSERT_EQ(admin("lpadmin", {"-p", "Virtual", "-E", "-v", "file://" + out + "/job.pdf", "-P", kPpd}), 0);
        ASSERT_EQ(admin("lpadmin", {"-d", "Virtual"}), 0);
        setMedia(media);
    }
    void setMedia(const QString& media)
    {
        ASSERT_EQ(admin("lpadmin", {"-p", "Virtual", "-o", "media=" + media, "-o", "PageSize=" + media}), 0);
    }

    // Ctrl+P, with the print dialog answered as a user would.
    void ctrlP(bool accept)
    {
        QTimer answer;  // gone with this call, whether a dialog came or not
        answer.setInterval(100);
        QObject::connect(&answer, &QTimer::timeout, [accept] {
            auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            if (accept) dialog->accept();
            else dialog->reject();
        });
        answer.start();
        form->activateWindow();  // back from an earlier dialog
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form.get(), Qt::Key_P, Qt::ControlModifier);
    }

    // The job the virtual printer wrote, once it is whole.
    QString printed(int waitMs)
    {
        const QString job = out + "/job.pdf";
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < waitMs) {
            QCoreApplication::processEvents();
            if (test::ReadFile(job).right(1024).contains("%%EOF") && Poppler::Document::load(job)) return job;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return {};
    }

    // The sheets made for the printer are gone once sent, or refused.
    static QStringList sheetFilesLeft() { return QDir(RunFolder()).entryList({"print-*"}, QDir::Files); }

    // The card printed on `media` with Ctrl+P: the job the virtual printer
    // wrote, two sheets of that paper; null when it wrote none.
    std::unique_ptr<Poppler::Document> printOn(const QString& media)
    {
        setMedia(media);
        QFile::remove(out + "/job.pdf");
        const size_t errors = modal.errorBoxes().size();
        ctrlP(true);
        const QString job = printed(30000);
        EXPECT_EQ(modal.errorBoxes().size(), errors) << modal.errorBoxes().back().toStdString();
        EXPECT_FALSE(job.isEmpty()) << test::ReadFile(root + "/log/error_log").toStdString();
        EXPECT_EQ(sheetFilesLeft(), QStringList());
        if (job.isEmpty()) return {};
        std::unique_ptr<Poppler::Document> pdf = Poppler::Document::load(job);
        pdf->setRenderHint(Poppler::Document::ThinLineSolid);  // a hairline shows as a line of dots
        EXPECT_EQ(pdf->numPages(), 2);
        for (int i = 0; i < pdf->numPages(); ++i) {
            const QSizeF paper = pdf->page(i)->pageSizeF();
            EXPECT_NEAR(std::min(paper.width(), paper.height()), media == "A4" ? 595.3 : 612, 1) << "sheet " << i + 1;
        }
        return pdf->numPages() == 2 ? std::move(pdf) : nullptr;
    }
};

}  // namespace

// The printed card's size, in inches, whichever way the printing system
// turned the sheet to fit its paper.
void ExpectInches(const QRect& card, double longer, double shorter)
{
    EXPECT_NEAR(std::max(card.width(), card.height()) / kDpi, longer, longer / 100);
    EXPECT_NEAR(std::min(card.width(), card.height()) / kDpi, shorter, shorter / 100);
}

TEST_F(PrintTest, CtrlPPrintsTheCardAtItsSizeWithCropMarksCancelPrintsNothingAndNoPrinterIsSaid)
{
    // No printer yet: a box says so, and nothing else happens.
    ctrlP(true);
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_TRUE(modal.messages[0].text.startsWith("No printer is set up.")) << modal.messages[0].text.toStdString();

    addPrinter("A4");
    ctrlP(false);
    EXPECT_EQ(printed(2000), QString());  // cancelled

    for (const QString& media : {QStringLiteral("A4"), QStringLiteral("Letter")}) {
        SCOPED_TRACE(media.toStdString());
        const std::unique_ptr<Poppler::Document> pdf = printOn(media);
        ASSERT_TRUE(pdf);
        EXPECT_TRUE(pdf->page(0)->text(QRectF()).contains("See you soon"));
        EXPECT_TRUE(pdf->page(1)->text(QRectF()).contains("Inside the card"));
        EXPECT_FALSE(pdf->fonts().isEmpty());  // the card not turned into a picture
        for (int i = 0; i < 2; ++i) {
            const QImage sheet = pdf->page(i)->renderToImage(kDpi, kDpi);
            const QRect card = Coloured(sheet, i == 0 ? kFront : kInside);
            ExpectInches(card, 7, 5);
            EXPECT_TRUE(CropMarksRound(sheet, card)) << "page " << i + 1;
        }
    }

    // A card's PDF that cannot be read: the box says the sheets could not be made.
    const QByteArray card = test::ReadFile(CardPdfPath(form->mWordFile));
    test::WriteFile(CardPdfPath(form->mWordFile), card.left(card.size() / 3));
    ctrlP(true);
    ASSERT_EQ(modal.errorBoxes().size(), 1u);
    EXPECT_TRUE(modal.errorBoxes()[0].startsWith("The card could not be printed: its pages could not be laid out"))
        << modal.errorBoxes()[0].toStdString();
    EXPECT_EQ(sheetFilesLeft(), QStringList());
    test::WriteFile(CardPdfPath(form->mWordFile), card);

    // A printer that refuses jobs: the error box with the printing system's reason.
    ASSERT_EQ(admin("cupsreject", {"Virtual"}), 0);
    ctrlP(true);
    ASSERT_EQ(modal.errorBoxes().size(), 2u);
    EXPECT_TRUE(modal.errorBoxes()[1].contains("The card could not be printed: ")) << modal.errorBoxes()[1].toStdString();
    EXPECT_EQ(sheetFilesLeft(), QStringList());
}

// The folded card's Letter sheet is larger than A4, what it draws is not: on
// A4 the card keeps its size and the instructions stay on the paper.
TEST_F(PrintTest, ACardOnALetterSheetPrintsAtItsSizeWithItsInstructionsOnA4AndLetter)
{
    WriteFoldedCardPdf(CardPdfPath(form->mWordFile));
    addPrinter("A4");
    for (const QString& media : {QStringLiteral("A4"), QStringLiteral("Letter")}) {
        SCOPED_TRACE(media.toStdString());
        const std::unique_ptr<Poppler::Document> pdf = printOn(media);
        ASSERT_TRUE(pdf);
        const QSizeF paper = pdf->page(0)->pageSizeF();
        EXPECT_TRUE(pdf->page(0)->text(QRectF(QPointF(), paper)).contains(kInstructions));
        EXPECT_FALSE(pdf->fonts().isEmpty());
        QRect cards[2];
        for (int i = 0; i < 2; ++i) {
            cards[i] = Coloured(pdf->page(i)->renderToImage(kDpi, kDpi), i == 0 ? kFront : kInside);
            ExpectInches(cards[i], 10, 7);
        }
        // Front and inside in the same place, so that they meet when turned.
        EXPECT_LE((cards[0].center() - cards[1].center()).manhattanLength(), 2);
    }
}
