#include "batch/card_list.h"

#include "batch/csv.h"
#include "batch/sheet_check.h"
#include "cardgen/catalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <sys/stat.h>

namespace marigal::batch {

namespace {

QString Absolute(const QDir& base, const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(base.absoluteFilePath(path));
}

}  // namespace

QStringList ListColumns()
{
    return {QStringLiteral("design"), QStringLiteral("message"), QStringLiteral("photo"), QStringLiteral("output"),
            QStringLiteral("picture"), QStringLiteral("pdf"), QStringLiteral("fit")};
}

bool IsSpreadsheet(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(512);
    if (head.startsWith("PK\x03\x04") || head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return true;
    return head.startsWith("<?xml") && head.contains("office:document");
}

namespace {

std::vector<TableRow> CsvRows(const QString& path, const ListOptions& options)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw UsageError(QStringLiteral("cannot read the list %1").arg(path));
    try {
        const QString text = DecodeCsv(file.readAll(), options.encoding);
        const QChar delimiter = options.delimiter.isNull() ? FindDelimiter(text) : options.delimiter;
        std::vector<TableRow> rows;
        for (CsvRecord& r : ParseCsv(text, delimiter)) rows.push_back({r.line, std::move(r.fields)});
        return rows;
    } catch (const CsvError& e) {
        throw UsageError(QStringLiteral("%1: %2").arg(path, QString::fromStdString(e.what())));
    }
}

}  // namespace

std::vector<CardOrder> ReadCardList(const QString& path, int dpi, const ListOptions& options)
{
    if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable())
        throw UsageError(QStringLiteral("cannot read the list %1").arg(path));
    std::vector<TableRow> rows;
    if (IsSpreadsheet(path)) {
        if (!options.readSheet) throw UsageError(QStringLiteral("%1: not a spreadsheet Marigal can read").arg(path));
        try {
            CheckSpreadsheet(path);
            rows = options.readSheet(path, options.sheet);
        } catch (const std::runtime_error& e) {
            throw UsageError(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what())));
        }
    } else {
        rows = CsvRows(path, options);
    }
    if (rows.empty()) throw UsageError(QStringLiteral("%1: no header row").arg(path));

    QHash<QString, int> column;
    const QStringList& header = rows.front().cells;
    for (int i = 0; i < header.size(); ++i) column.insert(header[i].trimmed().toLower(), i);
    for (const char* required : {"design", "message", "photo", "output"})
        if (!column.contains(QLatin1String(required)))
            throw UsageError(QStringLiteral("%1: no column \"%2\" in its header").arg(path, QLatin1String(required)));
    const auto field = [&](const TableRow& r, const char* name) {
        const int i = column.value(QLatin1String(name), -1);
        return i >= 0 && i < r.cells.size() ? r.cells[i] : QString();
    };

    const QDir listFolder = QFileInfo(path).absoluteDir();
    const QDir outputBase = options.outputDir.isEmpty() ? listFolder : QDir(QFileInfo(options.outputDir).absoluteFilePath());
    const QDir photoBase = options.photosDir.isEmpty() ? listFolder : QDir(QFileInfo(options.photosDir).absoluteFilePath());
    FolderRule outputs, photos;
    if (!options.trustList) {
        outputs = {outputBase.path(), options.outputDir.isEmpty() ? QStringLiteral("the list's folder")
                                                                   : QStringLiteral("the output folder %1").arg(options.outputDir)};
        photos = {photoBase.path(), options.photosDir.isEmpty() ? QStringLiteral("the list's folder")
                                                                : QStringLiteral("the photos folder %1").arg(options.photosDir)};
    }
    // Refused now where it can be told now; the card's files are checked
    // again where they are put, as they are then.
    const auto outside = [](const QString& file, const FolderRule& rule, bool folderOnly) {
        if (rule.root.isEmpty() || file.isEmpty()) return false;
        const QString at = folderOnly ? QFileInfo(file).absolutePath() : file;
        return QFileInfo::exists(at) && !LiesInside(at, rule.root);
    };
    std::vector<CardOrder> cards;
    for (size_t i = 1; i < rows.size(); ++i) {
        const TableRow& r = rows[i];
        CardOrder card;
        card.row = r.row;
        card.design = DesignNamed(field(r, "design"));
        card.message = MessageLines(field(r, "message"));
        card.photo = Absolute(photoBase, field(r, "photo").trimmed());
        card.output = Absolute(outputBase, field(r, "output").trimmed());
        card.picture = Absolute(outputBase, field(r, "picture").trimmed());
        card.pdf = Absolute(outputBase, field(r, "pdf").trimmed());
        card.dpi = dpi;
        card.fit = options.fit;
        card.outputs = outputs;
        card.photos = photos;
        const QString fit = field(r, "fit").trimmed();
        if (card.design < 0)
            card.problem = QStringLiteral("no design \"%1\" (0 to 5, or a design's name)").arg(field(r, "design").trimmed());
        else if (card.output.isEmpty())
            card.problem = QStringLiteral("no output file named");
        else if (!fit.isEmpty() && !PhotoFitNamed(fit, &card.fit))
            card.problem = QStringLiteral("no fit \"%1\" (fill or whole)").arg(fit);
        for (const char* column : {"output", "picture", "pdf"})
            if (card.problem.isEmpty() && outside(Absolute(outputBase, field(r, column).trimmed()), outputs, true))
                card.problem = QStringLiteral("%1 is outside %2").arg(field(r, column).trimmed(), outputs.rootName);
        if (card.problem.isEmpty() && outside(card.photo, photos, false))
            card.problem = QStringLiteral("%1 is outside %2").arg(field(r, "photo").trimmed(), photos.rootName);
        cards.push_back(card);
    }
    if (cards.empty()) throw UsageError(QStringLiteral("no cards in %1").arg(QFileInfo(path).fileName()));
    RefuseSharedOutputs(cards);
    return cards;
}

QString MessageLines(const QString& text)
{
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QStringLiteral("\v"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\v'));
    lines.replace(QLatin1Char('\n'), QLatin1Char('\v'));
    return lines;
}

// Its folder (its device and inode, so that a folder reached through a link
// is the same folder) and its name; a link to a file is the file it names.
// The path itself while its folder is not there.
QString OutputKey(const QString& path)
{
    QFileInfo info(path);
    if (info.isSymLink() && info.exists()) info = QFileInfo(info.canonicalFilePath());
    struct stat st {};
    if (::stat(QFile::encodeName(info.absolutePath()).constData(), &st) != 0) return QDir::cleanPath(path);
    return QStringLiteral("%1:%2/%3").arg(st.st_dev).arg(st.st_ino).arg(info.fileName());
}

std::vector<CardOrder> Shard(const std::vector<CardOrder>& cards, int k, int n)
{
    std::vector<CardOrder> mine;
    for (size_t i = 0; i < cards.size(); ++i)
        if (int(i % size_t(n)) == k - 1) mine.push_back(cards[i]);
    return mine;
}

void RefuseSharedOutputs(const std::vector<CardOrder>& cards)
{
    QHash<QString, int> writer;  // file -> the row that writes it
    for (const CardOrder& card : cards) {
        for (const QString& file : {card.output, card.picture, card.pdf}) {
            if (file.isEmpty()) continue;
            const QString key = OutputKey(file);
            const auto it = writer.constFind(key);
            if (it != writer.constEnd()) {
                if (card.row == 0) throw UsageError(QStringLiteral("%1 is named for two of the card's files").arg(file));
                throw UsageError(it.value() == card.row
                                     ? QStringLiteral("row %1 writes %2 twice").arg(card.row).arg(file)
                                     : QStringLiteral("rows %1 and %2 both write %3").arg(it.value()).arg(card.row).arg(file));
            }
            writer.insert(key, card.row);
        }
    }
}

}  // namespace marigal::batch
