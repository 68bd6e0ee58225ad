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
// in cards per minute from exec to exit (offices started and ended included),
// from the CSV list and from the same list as an .xlsx (the time to read it
// apart), with the command's own peak memory and the largest office's size
// after its first card and at most; then with --combined, and the time the
// combined PDF takes; beside the naive script's way, one plain `soffice
// --convert-to doc` of the design's template per card, one at a time, on a
// profile of its own (left out with --no-reference).
//
//   bench_card --batch [N] [--no-reference]      (N = 50)
//
// The times come from the program's own timing trace (marigal.timing).

#include "cardgen/catalogue.h"
#include "common/files.h"
#include "common/settings.h"
#include "common/startup.h"
#include "engine/libreoffice/lo_backend.h"
#include "preview/form2.h"
#include "shell/form1.h"
#include "tools/support/tool_support.h"

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

// A process's resident memory in MB, now and at most (VmRSS, VmHWM).
std::pair<double, double> Resident(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    std::pair<double, double> mb{0, 0};
    if (!f.open(QIODevice::ReadOnly)) return mb;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) mb.first = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
        if (line.startsWith("VmHWM:")) mb.second = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return mb;
}

struct BatchRun {
    double seconds = -1;     // exec to exit; -1 if it failed
    double peakMb = 0;       // the command's own
    double officeFirstMb = 0, officeMaxMb = 0;  // the largest office after its first card, and at most
    double readMs = -1;      // the list read
    QString out;
};

// One run of the command over a list, watched: its own memory and its offices'.
BatchRun RunBatch(const QString& list, int jobs, const QString& home, const QStringList& more = {})
{
    QProcess command;
    QProcessEnvironment env = HomeEnvironment(home);
    env.insert(QStringLiteral("TEMP"), home + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("marigal.timing.debug=true"));
    command.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    command.start(QStringLiteral(MARIGAL_APP_DIR "/marigal-card"),
                  QStringList{QStringLiteral("--batch"), list, QStringLiteral("--jobs"), QString::number(jobs)} + more);
    command.waitForStarted(-1);
    BatchRun run;
    const qint64 pid = command.processId();
    const QByteArray pipe = QStringLiteral("pipe,name=marigal-%1-").arg(pid).toUtf8();
    QByteArray err;
    // The offices are looked for once a second: a scan of /proc costs the run it watches.
    QElapsedTimer sinceScan;
    while (!command.waitForFinished(100)) {
        run.peakMb = std::max(run.peakMb, Resident(pid).second);
        const bool firstCardMade = command.bytesAvailable() > 0 || !run.out.isEmpty();
        run.out += QString::fromUtf8(command.readAllStandardOutput());
        err += command.readAllStandardError();
        if (sinceScan.isValid() && sinceScan.elapsed() < 1000 && !(firstCardMade && run.officeFirstMb == 0)) continue;
        sinceScan.start();
        for (const QString& p : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
            if (p.toInt() > 0) {
                QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(p));
                if (!cmdline.open(QIODevice::ReadOnly) || !cmdline.readAll().contains(pipe)) continue;
                const double rss = Resident(p.toLongLong()).first;
                run.officeMaxMb = std::max(run.officeMaxMb, rss);
                if (firstCardMade && run.officeFirstMb == 0) run.officeFirstMb = rss;
            }
        err += command.readAllStandardError();
    }
    run.out += QString::fromUtf8(command.readAllStandardOutput());
    err += command.readAllStandardError();
    const qsizetype read = err.indexOf(" cards read in ");
    if (read >= 0) run.readMs = err.mid(read + 15).split(' ').value(0).toDouble();
    const double seconds = t.elapsed() / 1000.0;
    if (command.exitStatus() != QProcess::NormalExit || command.exitCode() != 0) {
        std::fprintf(stderr, "--jobs %d: exit %d, %s\n", jobs, command.exitCode(), qPrintable(run.out.trimmed().section('\n', -1)));
        return run;
    }
    run.seconds = seconds;
    return run;
}

double BatchSeconds(const QString& list, int jobs, const QString& home)
{
    return RunBatch(list, jobs, home).seconds;
}

// The list as a spreadsheet, made by the office from the CSV.
QString AsSpreadsheet(const QString& csv, const QString& profile)
{
    QProcess convert;
    convert.setWorkingDirectory(QFileInfo(csv).absolutePath());
    convert.start(QStringLiteral("soffice"),
                  {QStringLiteral("--headless"), QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                   QStringLiteral("--convert-to"), QStringLiteral("xlsx"),
                   QStringLiteral("--infilter=Text - txt - csv (StarCalc):44,34,76,1"), csv});
    convert.waitForFinished(-1);
    return QFileInfo(csv).absolutePath() + QLatin1Char('/') + QFileInfo(csv).completeBaseName() + QStringLiteral(".xlsx");
}

int BenchBatch(int n, bool withReference)
{
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    QDir().mkpath(home + QStringLiteral("/tmp"));
    const QString photo = QStringLiteral(MARIGAL_APP_DIR "/Samples/sample1.jpg");

    // Sets the command's office profiles up, as any run after the first finds them; not counted.
    if (BatchSeconds(WriteList(dir.filePath(QStringLiteral("warm-up")), 2, photo), 2, home) < 0) return 1;

    std::printf("%d cards of design 0 with \"Samples/sample1.jpg\", .doc only, exec to exit\n", n);
    std::printf("                              seconds  cards/min  read ms  own peak MB  office MB (1st card, max)  "
                "offices, files left\n");
    std::vector<std::pair<QString, double>> rows;
    const QString xlsx = AsSpreadsheet(WriteList(dir.filePath(QStringLiteral("sheet")), n, photo),
                                       dir.filePath(QStringLiteral("convert-profile")));
    struct Case {
        QString name;
        int jobs;
        bool sheet, combined;
    };
    for (const Case& c : {Case{QStringLiteral("marigal-card --jobs 1"), 1, false, false},
                          Case{QStringLiteral("marigal-card --jobs 2"), 2, false, false},
                          Case{QStringLiteral("  the list as .xlsx"), 2, true, false},
                          Case{QStringLiteral("  with --combined"), 2, false, true}}) {
        const QString folder = dir.filePath(QStringLiteral("run%1").arg(rows.size()));
        QString list = WriteList(folder, n, photo);
        if (c.sheet) {
            QFile::remove(list);
            QFile::copy(xlsx, list = folder + QStringLiteral("/guests.xlsx"));
        }
        const QStringList more = c.combined ? QStringList{QStringLiteral("--combined"), folder + QStringLiteral("/all.pdf")}
                                            : QStringList();
        const BatchRun r = RunBatch(list, c.jobs, home, more);
        if (r.seconds < 0) return 1;
        const int made = QDir(folder).entryList({QStringLiteral("*.doc")}, QDir::Files).size();
        if (made != n) {
            std::fprintf(stderr, "%s: %d cards of %d\n", qPrintable(c.name), made, n);
            return 1;
        }
        const int left = QDir(home + QStringLiteral("/tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size();
        rows.emplace_back(c.name, r.seconds);
        std::printf("%-28s  %7.1f  %9.0f  %7.0f  %11.0f  %9.0f, %.0f", qPrintable(c.name), r.seconds, n * 60 / r.seconds,
                    r.readMs, r.peakMb, r.officeFirstMb, r.officeMaxMb);
        std::printf("  %d, %d\n", OfficesUnder(home), left);
        if (c.combined) {
            const qsizetype at = r.out.indexOf(QStringLiteral("all.pdf: "));
            std::printf("  %s\n", qPrintable(r.out.mid(at).section('\n', 0, 0)));
        }
        std::fflush(stdout);
    }
    if (!withReference) return 0;

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
    SetDesignFolder(QStringLiteral(MARIGAL_APP_DIR "/designs"));
    if (argc > 1 && std::strcmp(argv[1], "--batch") == 0) {
        QCoreApplication app(argc, argv);
        int n = 50;
        bool reference = true;
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--no-reference") == 0) reference = false;
            else n = std::max(1, std::atoi(argv[i]));
        }
        return BenchBatch(n, reference);
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
