#pragma once
// A spreadsheet's rows as the office shows them: a guest list kept in Excel
// or LibreOffice Calc, read by the office's own spreadsheet component.

#include "engine/libreoffice/lo_backend.h"
#include "engine/libreoffice/office_session.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <vector>

namespace marigal::engine::lo {

struct SheetRow {
    int row = 0;  // as the spreadsheet numbers it, from 1
    QStringList cells;  // the wanted columns, in the sheet's order
};

// How long the office may take to load a list.
inline constexpr std::chrono::seconds kSheetLoadBound{60};

// The rows of the sheet named `sheet` (the first when empty) of the
// spreadsheet at `path` (.xlsx, .xls, .ods, .fods), each cell as the sheet
// shows it: a number or a date as formatted, a formula's result. Its first
// row that is not empty is the header: of every row only the columns whose
// header is one of `columns` (without regard to case or blanks around it)
// are read, all of them when `columns` is empty. Rows whose cells are all
// empty are left out. The document is loaded with macros, links and the
// updating of what it refers to all off. Raises std::runtime_error: "not a
// spreadsheet Marigal can read", "no sheet "NAME" (it has: ...)", "the
// sheet is too large (R rows × C columns)".
std::vector<SheetRow> ReadSheet(OfficeSession& session, const QString& path, const QString& sheet,
                                const QStringList& columns = {});

}  // namespace marigal::engine::lo
