#include "csv.h"

namespace marigal::batch {

std::vector<CsvRecord> ParseCsv(const QByteArray& bytes)
{
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);

    std::vector<CsvRecord> records;
    CsvRecord record;
    QString field;
    bool quoted = false;       // inside a quoted field
    bool wasQuoted = false;    // the field began with a quote
    bool fieldStarted = false;
    int line = 1;
    record.line = 1;
    const auto endField = [&] {
        record.fields << field;
        field.clear();
        wasQuoted = false;
        fieldStarted = false;
    };
    const auto endRecord = [&] {
        endField();
        // A blank line holds one empty field: no record.
        if (!(record.fields.size() == 1 && record.fields.front().isEmpty())) records.push_back(record);
        record = CsvRecord();
        record.line = line;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == u'\n') ++line;
                field += c;
            }
            continue;
        }
        if (c == u'"') {
            if (fieldStarted) throw CsvError(QStringLiteral("line %1: a quote inside a field that is not quoted").arg(line).toStdString());
            quoted = wasQuoted = fieldStarted = true;
        } else if (c == u',') {
            endField();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            // CRLF: the LF ends the record.
        } else if (c == u'\n') {
            ++line;
            endRecord();
        } else {
            if (wasQuoted) throw CsvError(QStringLiteral("line %1: text after a quoted field").arg(line).toStdString());
            field += c;
            fieldStarted = true;
        }
    }
    if (quoted) throw CsvError(QStringLiteral("line %1: a quoted field that never ends").arg(record.line).toStdString());
    if (fieldStarted || !record.fields.isEmpty() || !field.isEmpty()) endRecord();
    return records;
}

}  // namespace marigal::batch
