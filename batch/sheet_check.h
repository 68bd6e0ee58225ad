#pragma once
// A spreadsheet looked at before any office loads it: a few kilobytes of a
// workbook can unpack to gigabytes of sheet, or declare a sheet of a million
// rows by sixteen thousand columns, and either would take the office's
// memory and minutes; a picture it links to would have the office fetch it.
// Read from the file's own bytes, without the office.

#include <QString>

namespace marigal::batch {

// Unpacked, a workbook (a zip: .xlsx, .ods) or a flat one (.fods) may take
// this much.
inline constexpr qint64 kMostSheetBytes = qint64(200) << 20;

// Raises std::runtime_error when the spreadsheet at `path` is larger than a
// list ever is: "the spreadsheet is too large (1.6 GB unpacked; Marigal
// reads up to 200 MB)", "the sheet is too large (1,048,576 rows × 16,384
// columns)" (an .xlsx's declared dimension, beyond the office's row and
// column limits for a list); or when it shows a picture or an object it
// does not hold, which the office would fetch from wherever it names: "it
// shows a picture kept outside it (URL), …". A file it cannot make out is
// left to the office, which says what it finds.
void CheckSpreadsheet(const QString& path);

}  // namespace marigal::batch
