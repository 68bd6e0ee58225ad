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
// The times come from the program's own timing trace (marigal.timing).

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

// One plain conversion of `card` to PNG by the office, on `profile`.
double ConvertSeconds(const QString& card, const QString& profile, const QString& outDir)
{
    QElapsedTimer t;
    t.start();
    QProcess soffice;
    soffice.start(QStringLiteral("soffice"),
                  {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                   QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("png"),
                   QStringLiteral("--outdir"), outDir, card});
    soffice.waitForFinished(120000);
    return t.elapsed() / 1000.0;
}

// The real program, from exec to its main window's first paint.
double StartMs(const QString& home)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("marigal.timing.debug=true"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
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

}  // namespace

int main(int argc, char** argv)
{
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
