#pragma once
// CSV as spreadsheets write it (RFC 4180): UTF-8 with or without a byte-order
// mark, records ended by CRLF or LF, fields separated by commas, a field in
// double quotes may hold commas, line breaks and doubled quotes.

#include <QByteArray>
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

// Every record of the text; a blank line is no record. Raises CsvError
// (naming the line) for a quoted field that never ends or a quote in the
// middle of an unquoted one.
std::vector<CsvRecord> ParseCsv(const QByteArray& text);

}  // namespace marigal::batch
