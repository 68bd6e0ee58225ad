#pragma once
// A spreadsheet's rows as the office shows them: a guest list kept in Excel
// or LibreOffice Calc, read by the office's own spreadsheet component.

#include "engine/libreoffice/office_session.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace marigal::engine::lo {

struct SheetRow {
    int row = 0;  // as the spreadsheet numbers it, from 1
    QStringList cells;  // from the sheet's first used column
};

// The rows of the sheet named `sheet` (the first when empty) of the
// spreadsheet at `path` (.xlsx, .xls, .ods, .fods), each cell as the sheet
// shows it: a number or a date as formatted, a formula's result. Rows whose
// cells are all empty are left out. Raises std::runtime_error: "not a
// spreadsheet Marigal can read", "no sheet "NAME" (it has: ...)".
std::vector<SheetRow> ReadSheet(OfficeSession& session, const QString& path, const QString& sheet);

}  // namespace marigal::engine::lo
