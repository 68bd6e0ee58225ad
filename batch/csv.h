#pragma once
// CSV as spreadsheets save it: UTF-8 with or without a byte-order mark,
// UTF-16 with one, or an encoding the user names; records ended by CR LF, LF
// or a lone CR (old Macs); fields separated by commas, semicolons (Europe's
// spreadsheets), tabs or bars; a field in double quotes may hold those, line
// breaks and doubled quotes, and may have blanks before it.

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>

#include <stdexcept>
#include <vector>

namespace marigal::batch {

struct CsvRecord {
    QStringList fields;
    int line = 0;  // where the record starts in the file, from 1
};

class CsvError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file's text. A byte-order mark tells UTF-8 or UTF-16 (little or big
// end first); without one the text is `encoding` when given (any name the
// system's ICU knows, "windows-1252"), else UTF-8, which is checked: raises
// CsvError naming the first line that is not UTF-8, and how to mend it, or
// an unknown encoding.
QString DecodeCsv(const QByteArray& bytes, const QString& encoding = QString());

// The separator the first line uses outside quotes: the most frequent of
// comma, semicolon, tab and bar (a comma when it has none).
QChar FindDelimiter(const QString& text);

// Every record of the text. A blank line is no record, nor is a line of
// empty fields (what a spreadsheet writes for a cleared row). Raises
// CsvError (naming the line) for a quoted field that never ends or a quote
// in the middle of an unquoted one.
std::vector<CsvRecord> ParseCsv(const QString& text, QChar delimiter);

}  // namespace marigal::batch
