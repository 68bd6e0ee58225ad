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

#include <thread>

#include <unistd.h>

using namespace marigal;

namespace {

const char kPpd[] = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";

// A card of two pages, 7 x 5 in, as the office would have drawn it.
void WriteCardPdf(const QString& path)
{
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QSizeF(7, 5), QPageSize::Inch));
    pdf.setResolution(72);
    QPainter p(&pdf);
    p.drawText(QPointF(72, 72), "See you soon");
    pdf.newPage();
    p.drawText(QPointF(72, 72), "Inside the card");
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
        if (::geteuid() != 0) GTEST_SKIP() << "cupsd runs its filters as lp, which only root may start it to do";
        if (QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/sbin"}).isEmpty() || !QFile::exists(kPpd))
            GTEST_SKIP() << "no cupsd or no PDF printer driver (cups, cups-filters)";
        root = dir.filePath("cups");
        out = root + "/out";
        socket = root + "/cups.sock";
        for (const char* sub : {"spool", "cache", "state", "log", "tmp", "out"}) QDir().mkpath(root + "/" + sub);
        // lp runs the filters and the file device: it must reach its folders.
        for (const QString& path : {dir.path(), root}) QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
        for (const char* sub : {"tmp", "out"}) ASSERT_EQ(::chown(QFile::encodeName(root + "/" + sub).constData(), 7, 7), 0);
        test::WriteFile(root + "/cupsd.conf", ("Listen " + socket.toUtf8() + "\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                                               "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                               "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n"));
        const QByteArray r = root.toUtf8();
        test::WriteFile(root + "/cups-files.conf",
                        "ServerRoot " + r + "\nRequestRoot " + r + "/spool\nCacheDir " + r + "/cache\nStateDir " + r +
                            "/state\nTempDir " + r + "/tmp\nAccessLog " + r + "/log/access_log\nErrorLog " + r +
                            "/log/error_log\nPageLog " + r + "/log/page_log\nFileDevice Yes\nUser lp\nGroup lp\n"
                            "SystemGroup root\nPrintcap " + r + "/printcap\n");
        cupsd.start("cupsd", {"-f", "-c", root + "/cupsd.conf", "-s", root + "/cups-files.conf"});
        ASSERT_TRUE(cupsd.waitForStarted());
        for (int i = 0; i < 100 && !QFile::exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(QFile::exists(socket)) << test::ReadFile(root + "/log/error_log").toStdString();
        server.emplace("CUPS_SERVER", QFile::encodeName(socket));

        load();
        QImage picture(700, 250, QImage::Format_RGB32);
        picture.fill(Qt::white);
        picture.setDotsPerMeterX(3780);
        picture.setDotsPerMeterY(3780);
        form->SetPicture(picture);
        form->mWordFile = dir.filePath("tamlor12345678.doc");
        WriteCardPdf(CardPdfPath(form->mWordFile));
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
    void addPrinter()
    {
        ASSERT_EQ(admin("lpadmin", {"-p", "Virtual", "-E", "-v", "file://" + out + "/job.pdf", "-P", kPpd}), 0);
        ASSERT_EQ(admin("lpadmin", {"-d", "Virtual"}), 0);
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
            if (QFile::exists(job) && Poppler::Document::load(job)) return job;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return {};
    }
};

}  // namespace

TEST_F(PrintTest, CtrlPPrintsTheCardsPagesCancelPrintsNothingAndNoPrinterIsSaid)
{
    // No printer yet: a box says so, and nothing else happens.
    ctrlP(true);
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_TRUE(modal.messages[0].text.startsWith("No printer is set up.")) << modal.messages[0].text.toStdString();

    addPrinter();
    ctrlP(false);
    EXPECT_EQ(printed(2000), QString());  // cancelled

    ctrlP(true);
    const QString job = printed(20000);
    ASSERT_FALSE(job.isEmpty()) << test::ReadFile(root + "/log/error_log").toStdString()
                                << (modal.messages.empty() ? std::string("(no message)") : modal.messages.back().text.toStdString());
    const std::unique_ptr<Poppler::Document> pdf = Poppler::Document::load(job);
    ASSERT_EQ(pdf->numPages(), 2);
    EXPECT_TRUE(pdf->page(0)->text(QRectF()).contains("See you soon"));
    EXPECT_TRUE(pdf->page(1)->text(QRectF()).contains("Inside the card"));
    // On the printer's paper (A4 or Letter), the card not turned into a picture.
    const QSizeF paper = pdf->page(0)->pageSizeF();
    EXPECT_TRUE(std::abs(paper.width() - 595) < 2 || std::abs(paper.width() - 612) < 2) << paper.width();
    EXPECT_FALSE(pdf->fonts().isEmpty());
    EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{});

    // A printer that refuses jobs: the error box with the printing system's reason.
    ASSERT_EQ(admin("cupsreject", {"Virtual"}), 0);
    ctrlP(true);
    ASSERT_EQ(modal.errorBoxes().size(), 1u);
    EXPECT_TRUE(modal.errorBoxes()[0].contains("The card could not be printed: ")) << modal.errorBoxes()[0].toStdString();
}
