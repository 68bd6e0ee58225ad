// marigal-card: a card, or a whole list of them, without the window.

#include "batch/batch_run.h"
#include "batch/card_list.h"
#include "batch/combined_pdf.h"
#include "cardgen/catalogue.h"
#include "common/files.h"
#include "common/timing.h"
#include "engine/libreoffice/lo_backend.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>

#include <atomic>
#include <map>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include <unistd.h>

using namespace marigal;
using namespace marigal::batch;

namespace {

const char kHelp[] =
    "Usage: marigal-card --design D --message TEXT [--photo FILE [--fit HOW]]\n"
    "                    --output CARD.doc [--picture CARD.png [--dpi N]]\n"
    "                    [--pdf CARD.pdf] [--force]\n"
    "       marigal-card --batch LIST [--sheet NAME] [--delimiter C] [--encoding E]\n"
    "                    [--jobs N] [--dpi N] [--fit HOW] [--combined CARDS.pdf]\n"
    "                    [--shard K/N] [--output-dir DIR] [--photos DIR]\n"
    "                    [--trust-list] [--force]\n"
    "\n"
    "Makes photo greeting cards as Word 97-2003 documents with the designs of\n"
    "Marigal, without its window: one card, or one for each row of a list.\n"
    "\n"
    "  --design D      0 to 5, or the design's name: \"Photo Greeting Card\",\n"
    "                  Clouds, Hearts, Meadow, Flowers, \"Yellow Flower\"\n"
    "  --message TEXT  the card's message; a line break stays a line break\n"
    "  --photo FILE    the photo; without it the design keeps its own picture\n"
    "                  (the first design needs one)\n"
    "  --fit HOW       fill: the photo fills its frames, cut around its subject\n"
    "                  (faces kept whole); whole: the whole photo, on a mat\n"
    "                  (fill); a list's column fit sets it for its row\n"
    "  --output FILE   the card (.doc)\n"
    "  --picture FILE  also a picture of its pages (.png), at --dpi (150)\n"
    "  --pdf FILE      also a PDF for printing\n"
    "  --batch FILE    a list with the columns design, message, photo, output\n"
    "                  and optionally picture, pdf and fit: a CSV file (its\n"
    "                  separator and UTF-8 or UTF-16 found by itself) or a\n"
    "                  spreadsheet (.xlsx, .xls, .ods); paths are taken from\n"
    "                  the list's folder\n"
    "  --output-dir DIR  the folder a list's cards go to: relative outputs are\n"
    "                  taken from it, and none may lie outside it (without it,\n"
    "                  the list's folder)\n"
    "  --photos DIR    likewise the folder a list's photos are read from\n"
    "  --trust-list    a list you wrote yourself: its outputs and photos may be\n"
    "                  anywhere\n"
    "  --sheet NAME    the spreadsheet's sheet (its first)\n"
    "  --delimiter C   the CSV's separator: , ; | or tab (found from its header)\n"
    "  --encoding E    the CSV's encoding when not UTF-8, e.g. windows-1252\n"
    "  --combined FILE also every card made, in the list's order, in one PDF\n"
    "  --shard K/N     only the cards that fall to shard K of N: the list's\n"
    "                  I-th card (from 1) falls to shard ((I - 1) mod N) + 1\n"
    "  --jobs N        cards made side by side, each with an office of its own\n"
    "                  (the number of cores, at most 4)\n"
    "  --force         replace files that are there (plain files only: a link,\n"
    "                  pipe, device or folder is never replaced); otherwise a\n"
    "                  card whose output exists is not made\n"
    "  -h, --help      this help;  --version  the version\n"
    "\n"
    "A photo that prints below 150 pixels per inch is said in a warning; the\n"
    "card is made.\n"
    "Ctrl+C (or SIGTERM, SIGHUP) stops: no card is begun, the cards being made\n"
    "are given up; a second one ends the program at once.\n"
    "Exit status: 0 every card made, 1 some not, 2 a usage error, 3 no office\n"
    "could be started, 130/143/129 stopped by SIGINT/SIGTERM/SIGHUP.\n"
    "See marigal-card(1).\n";

std::atomic<int> signalled{0};

// The first signal stops the run (the watching loop sees it); a second one
// ends the program at once, its offices with it.
void Stop(int sig)
{
    if (signalled.exchange(sig) != 0) {
        engine::KillAllOfficesNow();
        ::_exit(128 + sig);
    }
}

[[noreturn]] void Usage(const QString& text)
{
    std::fprintf(stderr, "marigal-card: %s (see marigal-card --help)\n", qPrintable(text));
    std::exit(2);
}

struct Options {
    QString design, message, photo, output, picture, pdf, batch, sheet, encoding, combined, outputDir, photosDir;
    int shard = 1, shards = 1;
    QChar delimiter;
    bool haveDesign = false, haveMessage = false;
    int dpi = 150;
    int jobs = 0;
    bool force = false;
    bool trustList = false;
    PhotoFit fit = PhotoFit::Fill;
};

int Number(const QString& option, const QString& value, int low, int high)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < low || n > high) Usage(QStringLiteral("%1 wants a number from %2 to %3").arg(option).arg(low).arg(high));
    return n;
}

Options Read(const QStringList& args)
{
    Options o;
    static const QStringList kValued{"--design", "--message", "--photo", "--output",    "--picture", "--pdf",
                                     "--dpi",    "--batch",   "--jobs",  "--delimiter", "--encoding", "--sheet",
                                     "--combined", "--shard", "--fit", "--output-dir", "--photos"};
    for (int i = 1; i < args.size(); ++i) {
        QString name = args[i], value;
        if (name.startsWith(QLatin1String("--")) && name.contains(QLatin1Char('='))) {
            value = name.section(QLatin1Char('='), 1);
            name = name.section(QLatin1Char('='), 0, 0);
            if (!kValued.contains(name)) Usage(QStringLiteral("unknown option '%1'").arg(name));
        } else if (kValued.contains(name)) {
            if (i + 1 >= args.size()) Usage(QStringLiteral("%1 wants a value").arg(name));
            value = args[++i];
        }
        if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (name == QLatin1String("--version")) {
            std::printf("marigal-card %s\n", MARIGAL_VERSION);
            std::exit(0);
        } else if (name == QLatin1String("--force")) o.force = true;
        else if (name == QLatin1String("--trust-list")) o.trustList = true;
        else if (name == QLatin1String("--output-dir")) o.outputDir = value;
        else if (name == QLatin1String("--photos")) o.photosDir = value;
        else if (name == QLatin1String("--design")) { o.design = value; o.haveDesign = true; }
        else if (name == QLatin1String("--message")) { o.message = value; o.haveMessage = true; }
        else if (name == QLatin1String("--photo")) o.photo = value;
        else if (name == QLatin1String("--fit")) {
            if (!PhotoFitNamed(value, &o.fit)) Usage(QStringLiteral("--fit wants fill or whole"));
        }
        else if (name == QLatin1String("--output")) o.output = value;
        else if (name == QLatin1String("--picture")) o.picture = value;
        else if (name == QLatin1String("--pdf")) o.pdf = value;
        else if (name == QLatin1String("--dpi")) o.dpi = Number(name, value, 10, 1200);
        else if (name == QLatin1String("--batch")) o.batch = value;
        else if (name == QLatin1String("--jobs")) o.jobs = Number(name, value, 1, 16);
        else if (name == QLatin1String("--sheet")) o.sheet = value;
        else if (name == QLatin1String("--combined")) o.combined = value;
        else if (name == QLatin1String("--shard")) {
            bool okK = false, okN = false;
            o.shard = value.section(QLatin1Char('/'), 0, 0).toInt(&okK);
            o.shards = value.section(QLatin1Char('/'), 1, 1).toInt(&okN);
            if (!okK || !okN || o.shards < 1 || o.shard < 1 || o.shard > o.shards || value.count(QLatin1Char('/')) != 1)
                Usage(QStringLiteral("--shard wants K/N, 1 <= K <= N"));
        }
        else if (name == QLatin1String("--encoding")) o.encoding = value;
        else if (name == QLatin1String("--delimiter")) {
            const QString c = value == QLatin1String("tab") || value == QLatin1String("\\t") ? QStringLiteral("\t") : value;
            if (c.size() != 1 || !QStringLiteral(",;|\t").contains(c))
                Usage(QStringLiteral("--delimiter wants one of , ; | tab"));
            o.delimiter = c.front();
        }
        else if (name.startsWith(QLatin1Char('-'))) Usage(QStringLiteral("unknown option '%1'").arg(name));
        else Usage(QStringLiteral("unexpected argument '%1'").arg(name));
    }
    return o;
}

std::vector<CardOrder> Orders(const Options& o, const engine::LibreOfficeOptions& office)
{
    if (!o.batch.isEmpty()) {
        if (o.haveDesign || o.haveMessage || !o.photo.isEmpty() || !o.output.isEmpty() || !o.picture.isEmpty() ||
            !o.pdf.isEmpty())
            Usage(QStringLiteral("--batch takes its cards from the list, not from --design, --message, ..."));
        ListOptions list;
        list.delimiter = o.delimiter;
        list.encoding = o.encoding;
        list.sheet = o.sheet;
        list.fit = o.fit;
        list.outputDir = o.outputDir;
        list.photosDir = o.photosDir;
        list.trustList = o.trustList;
        for (const QString& folder : {o.outputDir, o.photosDir})
            if (!folder.isEmpty() && !QFileInfo(folder).isDir()) Usage(QStringLiteral("%1 is not a folder").arg(folder));
        // A spreadsheet is read by an office of its own, ended before the cards' offices start.
        list.readSheet = [&office](const QString& path, const QString& sheet) {
            std::vector<TableRow> rows;
            for (auto& [row, cells] : engine::ReadSpreadsheet(office, path, sheet, ListColumns()))
                rows.push_back({row, std::move(cells)});
            return rows;
        };
        return ReadCardList(o.batch, o.dpi, list);
    }
    if (!o.sheet.isEmpty() || !o.encoding.isEmpty() || !o.delimiter.isNull() || !o.combined.isEmpty() || o.shards > 1 ||
        !o.outputDir.isEmpty() || !o.photosDir.isEmpty() || o.trustList)
        Usage(QStringLiteral("--sheet, --delimiter, --encoding, --combined, --shard, --output-dir, --photos and "
                             "--trust-list are for a --batch list"));
    if (!o.haveDesign || !o.haveMessage || o.output.isEmpty())
        Usage(QStringLiteral("a card wants --design, --message and --output (or --batch LIST.csv)"));
    CardOrder card;
    card.design = DesignNamed(o.design);
    if (card.design < 0) Usage(QStringLiteral("no design \"%1\" (0 to 5, or a design's name)").arg(o.design));
    card.message = MessageLines(o.message);
    const auto absolute = [](const QString& p) { return p.isEmpty() ? p : QFileInfo(p).absoluteFilePath(); };
    card.photo = absolute(o.photo);
    card.output = absolute(o.output);
    card.picture = absolute(o.picture);
    card.pdf = absolute(o.pdf);
    card.dpi = o.dpi;
    card.fit = o.fit;
    RefuseSharedOutputs({card});
    return {card};
}

// The combined PDF is a file like the cards': not one of theirs, and not
// replaced without --force.
void RefuseCombinedTarget(const Options& o, const std::vector<CardOrder>& cards)
{
    const QString key = OutputKey(o.combined);
    for (const CardOrder& card : cards)
        for (const QString& file : {card.output, card.picture, card.pdf})
            if (!file.isEmpty() && OutputKey(file) == key)
                throw UsageError(QStringLiteral("row %1 writes %2, the combined PDF").arg(card.row).arg(o.combined));
    if (!o.force && QFileInfo::exists(o.combined))
        throw UsageError(QStringLiteral("%1 is there already (--force replaces it)").arg(o.combined));
}

// Every made card's PDF, in the list's order, into one; the cards left out named.
bool WriteCombined(const Options& o, const std::vector<CardOrder>& cards,
                   const std::map<const CardOrder*, QString>& made)
{
    std::vector<QString> parts;
    QStringList left;
    for (const CardOrder& card : cards) {
        const auto it = made.find(&card);
        if (it != made.end()) parts.push_back(it->second);
        else left << QStringLiteral("row %1").arg(card.row);
    }
    if (parts.empty()) {
        std::printf("%s: not written, no card was made\n", qPrintable(o.combined));
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    try {
        const int pages = CombinePdfs(parts, QFileInfo(o.combined).absoluteFilePath(), o.force);
        std::printf("%s: %zu cards, %d pages in %.1f s%s\n", qPrintable(o.combined), parts.size(), pages,
                    clock.elapsed() / 1000.0,
                    left.isEmpty() ? "" : qPrintable(QStringLiteral("; left out: ") + left.join(QStringLiteral(", "))));
    } catch (const std::exception& e) {
        std::printf("%s: not written: %s\n", qPrintable(o.combined), e.what());
        return false;
    }
    return true;
}

QString Where(const CardOrder& card)
{
    return card.row > 0 ? QStringLiteral("row %1").arg(card.row) : QStringLiteral("marigal-card");
}

// On a terminal: one line redrawn in place.
void DrawProgress(const BatchRun& run, double seconds)
{
    const int done = run.made() + run.failed(), total = run.total();
    const int width = 24, filled = total ? width * done / total : width;
    const double rate = seconds > 0 ? done / seconds : 0;
    QString left = QStringLiteral("-");
    if (rate > 0 && done < total) left = QStringLiteral("%1 s left").arg((total - done) / rate, 0, 'f', 0);
    std::fprintf(stderr, "\r\033[K[%s%s] %d/%d  %d made  %d failed  %.1f cards/min  %s",
                 std::string(size_t(filled), '#').c_str(), std::string(size_t(width - filled), '.').c_str(), done,
                 total, run.made(), run.failed(), rate * 60, qPrintable(left));
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char* argv[])
{
    std::signal(SIGXFSZ, SIG_IGN);  // a full disk is an error to report
    // No window ever: the offscreen platform gives the fonts (a WordArt is
    // measured in its face) without a display. Its start looks for a
    // runtime folder, which a command run from cron or over ssh often has
    // none of; Qt makes one itself, and that is nothing to tell the user.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) previous(type, context, text);
        });
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Marigal"));
    // What goes wrong with a card is said once, by its own line; the error
    // log and the offices' troubles behind it only when asked for
    // (QT_LOGGING_RULES wins).
    QLoggingCategory::setFilterRules(QStringLiteral("marigal.office.warning=false\nmarigal.errors.warning=false"));
    Options options;
    try {
        options = Read(QCoreApplication::arguments());
    } catch (const UsageError& e) {
        Usage(e.text());
    }
    const bool list = !options.batch.isEmpty();
    engine::LibreOfficeOptions office;
    try {
        // The working folder of this run (made now, which also clears what
        // killed runs left), and a second place for the offices' profiles.
        RunFolder();
        office.fallbackProfileRoot = WorkingFolder() + QStringLiteral("/marigal-office-profiles");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "marigal-card: no working folder can be made: %s\n", e.what());
        return 3;
    }
    std::vector<CardOrder> cards;
    try {
        QElapsedTimer reading;
        reading.start();
        cards = Orders(options, office);
        if (list) qCDebug(lcTiming).noquote() << QStringLiteral("list of %1 cards read in %2 ms").arg(cards.size()).arg(reading.elapsed());
        if (!options.combined.isEmpty()) RefuseCombinedTarget(options, cards);
    } catch (const UsageError& e) {
        RemoveRunFolders();
        Usage(e.text());
    }
    if (options.shards > 1) {
        cards = Shard(cards, options.shard, options.shards);
        if (cards.empty()) {
            std::printf("shard %d/%d: no cards of %s fall to it\n", options.shard, options.shards,
                        qPrintable(QFileInfo(options.batch).fileName()));
            RemoveRunFolders();
            return 0;
        }
    }
    int jobs = options.jobs;
    if (jobs == 0) jobs = std::clamp(int(std::thread::hardware_concurrency()), 1, 4);

    struct sigaction stop {};
    stop.sa_handler = Stop;
    stop.sa_flags = SA_RESTART;  // a read or a wait it falls into goes on
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &stop, nullptr);

    int status = 0;
    {
        engine::LibreOfficeBackend backend(office);
        QElapsedTimer clock;
        clock.start();
        const bool terminal = list && ::isatty(STDERR_FILENO);
        // Each made card's PDF kept for the combined one, in the run's own folder.
        QString parts;
        if (!options.combined.isEmpty()) {
            parts = WorkPath(QStringLiteral("combined"));
            QDir().mkpath(parts);
        }
        std::map<const CardOrder*, QString> made;  // the cards' kept PDFs
        BatchRun run(backend, cards, jobs, options.force, [&backend] { backend.abortAll(); }, parts);
        bool done = false;
        while (!done) {
            done = run.wait(std::chrono::milliseconds(200));
            if (signalled && !run.stopped()) run.stop();
            for (const CardEvent& e : run.takeEvents()) {
                if (terminal) std::fputs("\r\033[K", stderr);
                if (e.outcome.made && !e.outcome.part.isEmpty()) made[e.card] = e.outcome.part;
                if (!e.outcome.made)
                    std::printf("%s: %s\n", qPrintable(Where(*e.card)), qPrintable(e.outcome.error));
                else if (list && !terminal)
                    std::printf("%s: made %s\n", qPrintable(Where(*e.card)), qPrintable(e.card->output));
                std::fflush(stdout);
                if (!e.outcome.warning.isEmpty())
                    std::fprintf(stderr, "%s: warning: %s\n", qPrintable(Where(*e.card)), qPrintable(e.outcome.warning));
            }
            if (terminal && !done) DrawProgress(run, clock.elapsed() / 1000.0);
        }
        if (terminal) std::fputs("\r\033[K", stderr);
        const QString noOffice = run.noOffice();
        if (!noOffice.isEmpty() && !signalled) {
            QString reason = noOffice;
            reason.replace(QLatin1String(".\n\n"), QLatin1String(": ")).replace(QLatin1Char('\n'), QLatin1String("; "));
            std::fprintf(stderr, "marigal-card: the word processor could not be started: %s\n", qPrintable(reason));
            status = 3;
        } else if (list || signalled) {
            const int notMade = run.total() - run.made() - run.failed();
            std::printf("%d made, %d failed%s in %.1f s\n", run.made(), run.failed(),
                        notMade > 0 ? qPrintable(QStringLiteral(", %1 not made").arg(notMade)) : "",
                        clock.elapsed() / 1000.0);
        }
        if (status == 0) status = run.failed() > 0 || run.made() < run.total() ? 1 : 0;
        if (!options.combined.isEmpty() && !signalled && status != 3) {
            if (!WriteCombined(options, cards, made)) status = 1;
        }
    }  // the offices have ended here
    RemoveRunFolders();
    if (signalled) return 128 + signalled;
    return status;
}
