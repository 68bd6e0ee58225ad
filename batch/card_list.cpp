#include "card_list.h"

#include "catalogue.h"
#include "csv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace marigal::batch {

namespace {

QString Absolute(const QDir& base, const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(base.absoluteFilePath(path));
}

}  // namespace

std::vector<CardOrder> ReadCardList(const QString& path, int dpi)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw UsageError(QStringLiteral("cannot read the list %1").arg(path));
    std::vector<CsvRecord> records;
    try {
        records = ParseCsv(file.readAll());
    } catch (const CsvError& e) {
        throw UsageError(QStringLiteral("%1: %2").arg(path, QString::fromStdString(e.what())));
    }
    if (records.empty()) throw UsageError(QStringLiteral("%1: no header row").arg(path));

    QHash<QString, int> column;
    const QStringList& header = records.front().fields;
    for (int i = 0; i < header.size(); ++i) column.insert(header[i].trimmed().toLower(), i);
    for (const char* required : {"design", "message", "photo", "output"})
        if (!column.contains(QLatin1String(required)))
            throw UsageError(QStringLiteral("%1: no column \"%2\" in its header").arg(path, QLatin1String(required)));
    const auto field = [&](const CsvRecord& r, const char* name) {
        const int i = column.value(QLatin1String(name), -1);
        return i >= 0 && i < r.fields.size() ? r.fields[i] : QString();
    };

    const QDir base = QFileInfo(path).absoluteDir();
    std::vector<CardOrder> cards;
    for (size_t i = 1; i < records.size(); ++i) {
        const CsvRecord& r = records[i];
        CardOrder card;
        card.row = int(i) + 1;
        card.design = DesignNamed(field(r, "design"));
        card.message = MessageLines(field(r, "message"));
        card.photo = Absolute(base, field(r, "photo").trimmed());
        card.output = Absolute(base, field(r, "output").trimmed());
        card.picture = Absolute(base, field(r, "picture").trimmed());
        card.pdf = Absolute(base, field(r, "pdf").trimmed());
        card.dpi = dpi;
        if (card.design < 0)
            card.problem = QStringLiteral("no design \"%1\" (0 to 5, or a design's name)").arg(field(r, "design").trimmed());
        else if (card.output.isEmpty())
            card.problem = QStringLiteral("no output file named");
        cards.push_back(card);
    }
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

void RefuseSharedOutputs(const std::vector<CardOrder>& cards)
{
    QHash<QString, int> writer;  // file -> the row that writes it
    for (const CardOrder& card : cards) {
        for (const QString& file : {card.output, card.picture, card.pdf}) {
            if (file.isEmpty()) continue;
            const auto it = writer.constFind(file);
            if (it != writer.constEnd())
                throw UsageError(it.value() == card.row
                                     ? QStringLiteral("row %1 writes %2 twice").arg(card.row).arg(file)
                                     : QStringLiteral("rows %1 and %2 both write %3").arg(it.value()).arg(card.row).arg(file));
            writer.insert(file, card.row);
        }
    }
}

}  // namespace marigal::batch
