#include "batch/csv.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>

namespace marigal::batch {

namespace {

// The first byte that does not belong to well-formed UTF-8, or -1.
qsizetype FirstInvalidUtf8(const QByteArray& bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = b[i];
        int more = 0;
        unsigned min = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3, min = 0x10000;
        } else {
            return i;
        }
        unsigned code = c & (0x3F >> more);
        for (int k = 1; k <= more; ++k) {
            if (i + k >= n || (b[i + k] & 0xC0) != 0x80) return i;
            code = code << 6 | (b[i + k] & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return i;
        i += more + 1;
    }
    return -1;
}

// The line of a byte offset: line ends as the parser counts them.
int LineAt(const QByteArray& bytes, qsizetype offset)
{
    int line = 1;
    for (qsizetype i = 0; i < offset; ++i) {
        if (bytes[i] == '\n') ++line;
        else if (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')) ++line;
    }
    return line;
}

}  // namespace

QString DecodeCsv(const QByteArray& bytes, const QString& encoding)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return utf16(bytes.mid(2));
    }
    if (!encoding.isEmpty()) {
        QStringDecoder decoder(encoding.toLatin1().constData());
        if (!decoder.isValid()) throw CsvError(QStringLiteral("no encoding \"%1\"").arg(encoding).toStdString());
        return decoder(bytes);
    }
    if (const qsizetype bad = FirstInvalidUtf8(bytes); bad >= 0)
        throw CsvError(QStringLiteral("line %1 is not UTF-8 text: save the list as CSV UTF-8, or give --encoding "
                                      "windows-1252")
                           .arg(LineAt(bytes, bad))
                           .toStdString());
    return QString::fromUtf8(bytes);
}

QChar FindDelimiter(const QString& text)
{
    static constexpr std::array<char16_t, 4> kCandidates{u',', u';', u'\t', u'|'};
    std::array<int, 4> counts{};
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"') quoted = !quoted;
        else if (!quoted && (c == u'\n' || c == u'\r')) break;
        else if (!quoted)
            for (size_t k = 0; k < kCandidates.size(); ++k) counts[k] += c == kCandidates[k];
    }
    const auto best = std::max_element(counts.begin(), counts.end());
    return *best > 0 ? QChar(kCandidates[size_t(best - counts.begin())]) : QChar(u',');
}

std::vector<CsvRecord> ParseCsv(const QString& text, QChar delimiter)
{
    std::vector<CsvRecord> records;
    CsvRecord record;
    QString field;
    bool quoted = false;       // inside a quoted field
    bool wasQuoted = false;    // the field began with a quote
    bool fieldStarted = false;  // something other than blanks came
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
        // A blank line, or one of empty fields only: no record.
        const bool empty = std::all_of(record.fields.cbegin(), record.fields.cend(),
                                       [](const QString& f) { return f.trimmed().isEmpty(); });
        if (!empty) records.push_back(record);
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
                if (c == u'\n' || (c == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n'))) ++line;
                field += c;
            }
            continue;
        }
        if (c == delimiter) {
            endField();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            // CR LF: the LF ends the record.
        } else if (c == u'\n' || c == u'\r') {
            ++line;
            endRecord();
        } else if (c == u'"') {
            if (fieldStarted)
                throw CsvError(QStringLiteral("line %1: a quote inside a field that is not quoted").arg(line).toStdString());
            field.clear();  // blanks before the quote belong to no field
            quoted = wasQuoted = fieldStarted = true;
        } else if (wasQuoted) {
            // Blanks after the closing quote are let go; anything else is not a field's.
            if (c != u' ') throw CsvError(QStringLiteral("line %1: text after a quoted field").arg(line).toStdString());
        } else {
            field += c;
            if (c != u' ') fieldStarted = true;
        }
    }
    if (quoted) throw CsvError(QStringLiteral("line %1: a quoted field that never ends").arg(record.line).toStdString());
    if (fieldStarted || !record.fields.isEmpty() || !field.isEmpty()) endRecord();
    return records;
}

}  // namespace marigal::batch
