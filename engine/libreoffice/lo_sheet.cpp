#include "engine/libreoffice/lo_sheet.h"

#include "engine/libreoffice/uno_props.h"
#include "engine/libreoffice/uno_strings.h"

#include <QFileInfo>
#include <QLocale>

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <osl/file.hxx>

#include <algorithm>
#include <stdexcept>

namespace marigal::engine::lo {

namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

const char kUnreadable[] = "not a spreadsheet Marigal can read";

// Rows read in one call: a list's few columns a thousand rows at a time.
constexpr int kRowsAtOnce = 1000;

// Closed on every path.
struct Loaded {
    Reference<css::lang::XComponent> doc;
    ~Loaded()
    {
        try {
            Reference<css::util::XCloseable> closeable(doc, UNO_QUERY);
            if (closeable.is()) closeable->close(true);
            else if (doc.is()) doc->dispose();
        } catch (...) {
            // Vetoed or gone with its office, which ends with its session.
        }
    }
};

}  // namespace

std::vector<SheetRow> ReadSheet(OfficeSession& session, const QString& path, const QString& sheet,
                                const QStringList& columns)
{
    const std::optional<rtl::OUString> url = toFileUrl(path);
    if (!url) throw std::runtime_error(kUnreadable);
    return session.call(kSheetLoadBound, [&] {
        Loaded loaded;
        try {
            Reference<css::frame::XComponentLoader> loader(session.desktop(), UNO_QUERY_THROW);
            // Somebody else's file: its macros never run, what it links to
            // is never fetched (the profile blocks links of an untrusted
            // referer, and this file is one), nothing it refers to is updated.
            loaded.doc = loader->loadComponentFromURL(
                *url, "_blank", 0,
                Props({Prop("Hidden", true), Prop("ReadOnly", true),
                       Prop("MacroExecutionMode", sal_Int16(css::document::MacroExecMode::NEVER_EXECUTE)),
                       Prop("UpdateDocMode", sal_Int16(css::document::UpdateDocMode::NO_UPDATE))}));
        } catch (const css::io::IOException&) {
        } catch (const css::lang::IllegalArgumentException&) {
        }
        Reference<css::sheet::XSpreadsheetDocument> book(loaded.doc, UNO_QUERY);
        if (!book.is()) throw std::runtime_error(kUnreadable);
        const auto sheets = book->getSheets();
        Reference<css::sheet::XSpreadsheet> chosen;
        if (sheet.isEmpty()) {
            Reference<css::container::XIndexAccess> all(sheets, UNO_QUERY_THROW);
            if (all->getCount() > 0) chosen.set(all->getByIndex(0), UNO_QUERY);
        } else if (sheets->hasByName(toOUString(sheet))) {
            chosen.set(sheets->getByName(toOUString(sheet)), UNO_QUERY);
        } else {
            QStringList names;
            for (const rtl::OUString& name : sheets->getElementNames()) names << toQString(name);
            throw std::runtime_error(
                QStringLiteral("no sheet \"%1\" (it has: %2)").arg(sheet, names.join(QStringLiteral(", "))).toStdString());
        }
        if (!chosen.is()) throw std::runtime_error(kUnreadable);

        // The used area: told before any cell is read.
        Reference<css::sheet::XSheetCellCursor> cursor = chosen->createCursor();
        Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
        used->gotoStartOfUsedArea(false);
        used->gotoEndOfUsedArea(true);
        const css::table::CellRangeAddress area =
            Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
        const qint64 height = qint64(area.EndRow) + 1, width = qint64(area.EndColumn) + 1;
        if (height > kMostSheetRows || width > kMostSheetColumns)
            throw std::runtime_error(QStringLiteral("the sheet is too large (%1 rows × %2 columns)")
                                         .arg(QLocale(QLocale::English).toString(height),
                                              QLocale(QLocale::English).toString(width))
                                         .toStdString());

        // A cell's text as the sheet shows it.
        const auto text = [&](const css::uno::Any& value, sal_Int32 column, sal_Int32 row) {
            rtl::OUString shown;
            if (!(value >>= shown) && value.hasValue())  // a number, a date, a formula's number
                shown = Reference<css::text::XText>(chosen->getCellByPosition(column, row), UNO_QUERY_THROW)->getString();
            return shown;
        };
        // The rows from `first` to `last` of the given columns, a few
        // thousand cells a call.
        std::vector<SheetRow> rows;
        const auto read = [&](sal_Int32 first, sal_Int32 last, const std::vector<sal_Int32>& wanted) {
            for (sal_Int32 top = first; top <= last; top += kRowsAtOnce) {
                const sal_Int32 bottom = std::min(last, top + kRowsAtOnce - 1);
                std::vector<css::uno::Sequence<css::uno::Sequence<css::uno::Any>>> parts;
                for (const sal_Int32 c : wanted) {
                    Reference<css::table::XCellRange> range = chosen->getCellRangeByPosition(c, top, c, bottom);
                    parts.push_back(Reference<css::sheet::XCellRangeData>(range, UNO_QUERY_THROW)->getDataArray());
                }
                for (sal_Int32 r = 0; r <= bottom - top; ++r) {
                    SheetRow row;
                    row.row = top + r + 1;
                    bool any = false;
                    for (size_t k = 0; k < wanted.size(); ++k) {
                        const rtl::OUString shown = text(parts[k][r][0], wanted[k], top + r);
                        row.cells << toQString(shown);
                        any = any || !shown.trim().isEmpty();
                    }
                    if (any) rows.push_back(std::move(row));
                }
            }
        };
        // The header: the first row that is not empty, every column of it.
        std::vector<sal_Int32> all;
        for (sal_Int32 c = area.StartColumn; c <= area.EndColumn; ++c) all.push_back(c);
        sal_Int32 headerRow = area.StartRow;
        for (; headerRow <= area.EndRow && rows.empty(); ++headerRow) read(headerRow, headerRow, all);
        if (rows.empty()) return rows;
        std::vector<sal_Int32> wanted;
        for (qsizetype i = 0; i < rows.front().cells.size(); ++i)
            if (columns.isEmpty() || columns.contains(rows.front().cells[i].trimmed(), Qt::CaseInsensitive))
                wanted.push_back(all[size_t(i)]);
        SheetRow header = rows.front();
        header.cells.clear();
        for (const sal_Int32 c : wanted) header.cells << rows.front().cells[qsizetype(c - area.StartColumn)];
        rows = {header};
        if (!wanted.empty()) read(headerRow, area.EndRow, wanted);
        return rows;
    });
}

}  // namespace marigal::engine::lo
