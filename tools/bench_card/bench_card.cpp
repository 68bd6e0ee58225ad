// How long a card takes, as the user waits for it: the real main window, its
// generation run with the real office, and the preview window, offscreen.
// For each design, N cards one after another in one session (later cards as
// the first), each timed from the click on "Start Creating Template" to
//   card     the card document saved (end of SaveAs),
//   picture  the page picture written ("temp.bmp"),
//   preview  the preview window's first paint;
// beside one plain `soffice --headless --convert-to png` of the same card on
// a profile of its own, as a reference. Also Marigal's own peak memory per
// design (offices not counted) and, last, the program's start: the real
// executable from exec to its main window's first paint.
//
//   bench_card [N] [DESIGN...]      (N = 5, every design)
//
// The batch mode times the command-line card maker instead: a list of N cards
// of the first design with the sample photo, made with --jobs 1 and --jobs 2,
// in cards per minute from exec to exit (offices started and ended included);
// beside the naive script's way, one plain `soffice --convert-to doc` of the
// design's template per card, one at a time, on a profile of its own.
//
//   bench_card --batch [N]          (N = 50)
//
// The times come from the program's own timing trace (marigal.timing).

#include "catalogue.h"
#include "files.h"
#include "support/tool_support.h"
#include "form1.h"
#include "form2.h"
#include "lo_backend.h"
#include "settings.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QUrl>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include <sys/stat.h>

using namespace marigal;

namespace {

QElapsedTimer clock_;
std::vector<std::pair<qint64, QString>> trace_;  // (ms since start, message)
QtMessageHandler defaultHandler_ = nullptr;

void Record(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (context.category && QByteArray(context.category).startsWith("marigal.timing"))
        trace_.emplace_back(clock_.elapsed(), message);
    else if (defaultHandler_)
        defaultHandler_(type, context, message);
}

// When `what` was traced since `from`; -1 if it was not.
qint64 TracedAt(const QString& what, qint64 from)
{
    for (const auto& [at, message] : trace_)
        if (at >= from && message.startsWith(what)) return at;
    return -1;
}

void ResetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

struct Stats {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    double median() const
    {
        std::vector<double> s = v;
        std::sort(s.begin(), s.end());
        const size_t n = s.size();
        return n == 0 ? -1 : n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
    }
    double min() const { return v.empty() ? -1 : *std::min_element(v.begin(), v.end()); }
    double max() const { return v.empty() ? -1 : *std::max_element(v.begin(), v.end()); }
    QString line() const
    {
        return QStringLiteral("%1 (%2-%3)").arg(median(), 6, 'f', 0).arg(min(), 0, 'f', 0).arg(max(), 0, 'f', 0);
    }
};

bool WaitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// One plain conversion of `card` (to PNG, or `format`) by the office, on `profile`.
double ConvertSeconds(const QString& card, const QString& profile, const QString& outDir,
                      const QString& format = QStringLiteral("png"))
{
    QElapsedTimer t;
    t.start();
    QProcess soffice;
    soffice.start(QStringLiteral("soffice"),
                  {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                   QStringLiteral("--headless"), QStringLiteral("--convert-to"), format,
                   QStringLiteral("--outdir"), outDir, card});
    soffice.waitForFinished(120000);
    return t.elapsed() / 1000.0;
}

// The environment of a program whose settings and profiles live in `home`.
QProcessEnvironment HomeEnvironment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    return env;
}

// The real program, from exec to its main window's first paint.
double StartMs(const QString& home)
{
    QProcess program;
    QProcessEnvironment env = HomeEnvironment(home);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("marigal.timing.debug=true"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    program.start(QStringLiteral(MARIGAL_APP_DIR "/marigal"), QStringList());
    QByteArray err;
    double ms = -1;
    while (program.waitForReadyRead(20000)) {
        err += program.readAll();
        if (err.contains("Form1 painted")) {
            ms = t.elapsed();
            break;
        }
    }
    program.terminate();  // ends as closing its window does
    program.waitForFinished(10000);
    return ms;
}

// Office processes whose command line names `under` (our profiles are there).
int OfficesUnder(const QString& under)
{
    int count = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
        if (pid.toInt() > 0) {
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(QFile::encodeName(under))) ++count;
        }
    return count;
}

// Writes a list of `n` cards into `folder`; returns its path.
QString WriteList(const QString& folder, int n, const QString& photo)
{
    QDir().mkpath(folder);
    QFile list(folder + QStringLiteral("/guests.csv"));
    list.open(QIODevice::WriteOnly);
    list.write("design,message,photo,output\n");
    for (int i = 1; i <= n; ++i)
        list.write(QStringLiteral("0,\"Dear guest %1, thank you for coming!\",%2,card %1.doc\n")
                       .arg(i)
                       .arg(photo)
                       .toUtf8());
    return list.fileName();
}

// One run of the command over a list; seconds from exec to exit, -1 if it failed.
double BatchSeconds(const QString& list, int jobs, const QString& home)
{
    QProcess command;
    QProcessEnvironment env = HomeEnvironment(home);
    env.insert(QStringLiteral("TEMP"), home + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
    command.setProcessEnvironment(env);
    command.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    command.start(QStringLiteral(MARIGAL_APP_DIR "/marigal-card"),
                  {QStringLiteral("--batch"), list, QStringLiteral("--jobs"), QString::number(jobs)});
    command.waitForFinished(-1);
    const double seconds = t.elapsed() / 1000.0;
    const QByteArray out = command.readAllStandardOutput().trimmed();
    const QByteArray summary = out.mid(out.lastIndexOf('\n') + 1);
    if (command.exitStatus() != QProcess::NormalExit || command.exitCode() != 0) {
        std::fprintf(stderr, "--jobs %d: exit %d, %s\n", jobs, command.exitCode(), summary.constData());
        return -1;
    }
    return seconds;
}

int BenchBatch(int n)
{
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    QDir().mkpath(home + QStringLiteral("/tmp"));
    const QString photo = QStringLiteral(MARIGAL_APP_DIR "/Samples/sample1.jpg");

    // Sets the command's office profiles up, as any run after the first finds them; not counted.
    if (BatchSeconds(WriteList(dir.filePath(QStringLiteral("warm-up")), 2, photo), 2, home) < 0) return 1;

    std::printf("%d cards of design 0 with \"Samples/sample1.jpg\", .doc only, exec to exit\n", n);
    std::printf("                              seconds  cards/min  offices, working files left\n");
    std::vector<std::pair<QString, double>> rows;
    for (int jobs : {1, 2}) {
        const QString folder = dir.filePath(QStringLiteral("jobs%1").arg(jobs));
        const double s = BatchSeconds(WriteList(folder, n, photo), jobs, home);
        if (s < 0) return 1;
        const int made = QDir(folder).entryList({QStringLiteral("*.doc")}, QDir::Files).size();
        if (made != n) {
            std::fprintf(stderr, "--jobs %d: %d cards of %d\n", jobs, made, n);
            return 1;
        }
        const int left = QDir(home + QStringLiteral("/tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size();
        rows.emplace_back(QStringLiteral("marigal-card --jobs %1").arg(jobs), s);
        std::printf("%-28s  %7.1f  %9.0f", qPrintable(rows.back().first), s, n * 60 / s);
        std::printf("  %d, %d\n", OfficesUnder(home), left);
        std::fflush(stdout);
    }

    // The naive script: the design's template converted by one office process per card.
    const QString reference = dir.filePath(QStringLiteral("reference"));
    QDir().mkpath(reference);
    const QString design = reference + QStringLiteral("/design0.dot");
    WriteBytesToFile(LoadResData(DesignResourceId(0), kDesignResourceType), design);
    const QString profile = reference + QStringLiteral("/profile");
    const auto convert = [&] { ConvertSeconds(design, profile, reference, QStringLiteral("doc")); };
    convert();  // sets its profile up; not counted
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i) convert();
    const double plain = t.elapsed() / 1000.0;
    std::printf("%-28s  %7.1f  %9.0f\n", "soffice --convert-to doc", plain, n * 60 / plain);
    for (const auto& [name, s] : rows) std::printf("%s: %.1fx the reference's rate\n", qPrintable(name), plain / s);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--batch") == 0) {
        QCoreApplication app(argc, argv);
        return BenchBatch(argc > 2 ? std::max(1, std::atoi(argv[2])) : 50);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    clock_.start();
    QLoggingCategory::setFilterRules(QStringLiteral("marigal.timing.debug=true"));
    defaultHandler_ = qInstallMessageHandler(Record);

    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<int> designs;
    for (int i = 2; i < argc; ++i) designs.push_back(std::atoi(argv[i]));
    if (designs.empty()) designs = {0, 1, 2, 3, 4, 5};

    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    qputenv("TEMP", QFile::encodeName(dir.path()));
    const QString photo = QStringLiteral(MARIGAL_APP_DIR "/Samples/sample1.jpg");

    tools::StderrModal modal;
    SettingsStore settings(dir.filePath(QStringLiteral("Marigal.conf")));
    settings.SaveSetting(QStringLiteral("txtSubjectPic"), photo);
    settings.SaveSetting(QStringLiteral("Text1"), QStringLiteral("Happy birthday, dear Ann!"));
    // The office set up as the program sets it up.
    engine::LibreOfficeOptions office;
    office.pictureFit = PicturePixels(Form1::PreviewFit());
    engine::LibreOfficeBackend engine(office);
    Form1Services services;
    services.modal = &modal;
    services.settings = &settings;
    services.engine = &engine;
    services.appFolder = QStringLiteral(MARIGAL_APP_DIR);
    services.drawMakerSite = [] { return 50; };
    services.openUrl = [](const QString&) {};
    services.endApplication = [] {};
    Form1 form(services);
    form.Form_Load();
    form.ShowCentred();
    WaitFor([] { return TracedAt(QStringLiteral("Form1 painted"), 0) >= 0; }, 5000);

    const QString reference = dir.filePath(QStringLiteral("reference"));
    QDir().mkpath(reference);
    std::printf("%d cards per design, design 0's photo for every design (\"Samples/sample1.jpg\")\n", n);
    std::printf("median (min-max) ms from the click; the preview's first card of the session apart\n");
    std::printf("design  card               picture            preview            first  own peak  soffice->png  ratio\n");
    for (int design : designs) {
        form.Option1At(design)->setChecked(true);
        Stats card, picture, preview;
        QString kept;
        ResetPeak();
        for (int round = 0; round < n; ++round) {
            const qint64 t0 = clock_.elapsed();
            form.PushButton6->click();
            if (!WaitFor([&] { return TracedAt(QStringLiteral("Form2 painted"), t0) >= 0; }, 20000)) {
                std::fprintf(stderr, "design %d: no preview\n", design);
                return 1;
            }
            card.add(TracedAt(QStringLiteral("Form1.PushButton6_Click 302:"), t0) - t0);
            picture.add(TracedAt(QStringLiteral("Form1.SaveDocAsJPG 122:"), t0) - t0);
            preview.add(TracedAt(QStringLiteral("Form2 painted"), t0) - t0);
            Form2& shown = form.Preview();
            if (round == n - 1) {
                kept = reference + QStringLiteral("/design%1.doc").arg(design);
                QFile::remove(kept);
                QFile::copy(shown.mWordFile, kept);
            }
            shown.PushButton8_Click();  // "< Back"
            QCoreApplication::processEvents();
        }
        const double peak = tools::OwnPeakMb();
        // Its first conversion sets the reference's profile up; not counted.
        if (design == designs.front()) ConvertSeconds(kept, reference + QStringLiteral("/profile"), reference);
        const double plain = ConvertSeconds(kept, reference + QStringLiteral("/profile"), reference);
        std::printf("%6d  %-17s  %-17s  %-17s  %5.0f  %5.0f MB  %9.2f s  %4.1fx\n", design, qPrintable(card.line()),
                    qPrintable(picture.line()), qPrintable(preview.line()), preview.v.front(), peak, plain,
                    plain * 1000 / preview.median());
        std::fflush(stdout);
    }

    Stats start;
    const QString home = dir.filePath(QStringLiteral("home"));
    StartMs(home);  // sets the program's profiles up; not counted
    for (int round = 0; round < n; ++round) start.add(StartMs(home));
    std::printf("program start -> main window painted: %s ms\n", qPrintable(start.line()));
    RemoveRunFolders();
    return 0;
}
