// Lists and photos made to hurt, given to marigal-card: for each, how long
// until it ends, what it says last, and the peak memory of marigal-card and
// of its largest office (sampled every 0.1 s). A run that goes beyond 70 s
// or 8 GB is killed and said so.
//
//   bench_hostile [MARIGAL-CARD]        (the build's by default)
//
// Cases: a sheet whose stray cell makes it a million rows by sixteen
// thousand columns; a 4.6 MB workbook of 1.6 GB; a HEIC grid of 32256 x
// 32256 pixels and a PNG of 30000 x 30000 as photos; a 5 MB message before
// an ordinary card; valid photos of 36 and 49 megapixels (the second with
// transparency); lists that link a picture on a server of this machine and
// one that links a named pipe.

#include "tools/support/hostile_files.h"
#include "tools/support/sample_photos.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <map>

#include <csignal>

using namespace marigal;

namespace {

// Resident memory of each process now, in MB, and who its parent is.
std::map<qint64, std::pair<qint64, double>> Processes()
{
    std::map<qint64, std::pair<qint64, double>> all;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = name.toLongLong(&numeric);
        if (!numeric) continue;
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly)) continue;
        qint64 parent = 0;
        double rss = 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:")) parent = line.mid(5).trimmed().toLongLong();
            if (line.startsWith("VmRSS:")) rss = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
        }
        all[pid] = {parent, rss};
    }
    return all;
}

struct Outcome {
    double seconds = 0, ownPeak = 0, officePeak = 0;
    int status = 0;
    bool killed = false;
    QString last;
};

Outcome Run(const QString& program, const QString& folder, const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    p.waitForStarted();
    Outcome o;
    while (p.state() != QProcess::NotRunning && !p.waitForFinished(100)) {
        const auto all = Processes();
        double total = 0;
        for (const auto& [pid, info] : all) {
            // Its own, and every descendant's: the offices.
            qint64 up = pid;
            while (up > 1 && up != p.processId()) up = all.count(up) ? all.at(up).first : 0;
            if (up != p.processId()) continue;
            total += info.second;
            if (pid == p.processId()) o.ownPeak = std::max(o.ownPeak, info.second);
            else o.officePeak = std::max(o.officePeak, info.second);
        }
        if (clock.elapsed() > 70000 || total > 8192) {
            // Its offices first (each leads a session of its own), then itself.
            for (const auto& [pid, info] : all)
                if (pid > 1 && info.first == p.processId()) ::kill(-pid_t(pid), SIGKILL);
            p.kill();
            p.waitForFinished();
            o.killed = true;
            break;
        }
    }
    o.seconds = clock.elapsed() / 1000.0;
    o.status = p.exitCode();
    const QStringList lines = QString::fromUtf8(p.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    o.last = lines.isEmpty() ? QString() : lines.last().left(110);
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                     : QCoreApplication::applicationDirPath() + QStringLiteral("/../../app/marigal-card");
    QTemporaryDir dir;
    const QString f = dir.path();
    QDir(f).mkpath(QStringLiteral("photos"));
    QDir(f).mkpath(QStringLiteral("cards"));
    samples::FinePattern(QSize(1600, 1200), 16).save(f + QStringLiteral("/photos/ann.jpg"));
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    const QString url = QStringLiteral("http://127.0.0.1:%1/x.png").arg(server.serverPort());
    bool made = samples::WriteCornerXlsx(f + QStringLiteral("/corner.xlsx")) &&
                samples::WriteZipBombXlsx(f + QStringLiteral("/bomb.xlsx")) &&
                samples::WriteHeifBomb(f + QStringLiteral("/photos/grid.heic")) &&
                samples::WritePngBomb(f + QStringLiteral("/photos/huge.png"), 30000, 30000) &&
                samples::WriteLongMessageCsv(f + QStringLiteral("/long.csv"), 5 << 20) &&
                samples::WriteLinkedPictureOds(f + QStringLiteral("/linked.ods"), url) &&
                samples::WriteLinkedPictureXlsx(f + QStringLiteral("/linked.xlsx"), url) &&
                samples::WriteFifoList(f + QStringLiteral("/fifo.ods"));
    // Valid photos: 36 megapixels, and 49 with transparency around it.
    for (const auto& [name, size, clear] : {std::tuple("36mp.png", QSize(6928, 5196), false),
                                            std::tuple("49mp.png", QSize(8083, 6062), true)}) {
        QImage photo(size, QImage::Format_ARGB32);
        photo.fill(clear ? Qt::transparent : QColor(40, 120, 200));
        QPainter(&photo).drawImage(QRect(QPoint(0, 0), size).adjusted(64, 64, -64, -64),
                                   samples::FinePattern(size / 8, 4));
        made = made && photo.save(f + QStringLiteral("/photos/") + QLatin1String(name));
    }
    if (!made) {
        std::fprintf(stderr, "the files could not be made\n");
        return 1;
    }
    const auto card = [](const char* photo) {
        return QStringList{QStringLiteral("--design"), QStringLiteral("Hearts"), QStringLiteral("--message"),
                           QStringLiteral("Hi"), QStringLiteral("--photo"), QLatin1String(photo),
                           QStringLiteral("--output"), QStringLiteral("cards/x.doc"), QStringLiteral("--force")};
    };
    const auto list = [](const char* name) { return QStringList{QStringLiteral("--batch"), QLatin1String(name)}; };
    const std::pair<const char*, QStringList> cases[] = {
        {"corner .xlsx", list("corner.xlsx")},      {"1.6 GB .xlsx", list("bomb.xlsx")},
        {"HEIC grid", card("photos/grid.heic")},    {"PNG 30000^2", card("photos/huge.png")},
        {"5 MB message", list("long.csv")},         {"36 MP PNG", card("photos/36mp.png")},
        {"49 MP RGBA PNG", card("photos/49mp.png")}, {"linked .ods", list("linked.ods")},
        {"linked .xlsx", list("linked.xlsx")},      {"named pipe .ods", list("fifo.ods")},
    };
    std::printf("%-16s %8s %6s %9s %9s  %s\n", "case", "time", "status", "own MB", "office MB", "last line");
    std::fflush(stdout);
    for (const auto& [name, args] : cases) {
        const Outcome o = Run(program, f, args);
        const int requests = server.waitForNewConnection(100) ? 1 : 0;
        while (server.hasPendingConnections()) delete server.nextPendingConnection();
        std::printf("%-16s %7.1fs %6s %9.0f %9.0f  %s%s\n", name, o.seconds,
                    o.killed ? "killed" : qPrintable(QString::number(o.status)), o.ownPeak, o.officePeak,
                    requests ? "[the server was asked] " : "", qPrintable(o.last));
        std::fflush(stdout);
    }
    return 0;
}
