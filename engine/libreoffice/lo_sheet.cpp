#include "engine/libreoffice/lo_sheet.h"

#include "engine/libreoffice/uno_props.h"
#include "engine/libreoffice/uno_strings.h"

#include <QFileInfo>

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
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

#include <stdexcept>

namespace marigal::engine::lo {

namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

const char kUnreadable[] = "not a spreadsheet Marigal can read";

// A large workbook takes the office a while to load.
constexpr std::chrono::seconds kLoadBound{120};

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

std::vector<SheetRow> ReadSheet(OfficeSession& session, const QString& path, const QString& sheet)
{
    const std::optional<rtl::OUString> url = toFileUrl(path);
    if (!url) throw std::runtime_error(kUnreadable);
    return session.call(kLoadBound, [&] {
        Loaded loaded;
        try {
            Reference<css::frame::XComponentLoader> loader(session.desktop(), UNO_QUERY_THROW);
            loaded.doc = loader->loadComponentFromURL(
                *url, "_blank", 0,
                Props({Prop("Hidden", true), Prop("ReadOnly", true),
                       Prop("MacroExecutionMode", sal_Int16(css::document::MacroExecMode::NEVER_EXECUTE))}));
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

        // The used area, its values in one call; a number's text as the sheet shows it.
        Reference<css::sheet::XSheetCellCursor> cursor = chosen->createCursor();
        Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
        used->gotoStartOfUsedArea(false);
        used->gotoEndOfUsedArea(true);
        const css::table::CellRangeAddress area =
            Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
        Reference<css::table::XCellRange> range = chosen->getCellRangeByPosition(
            area.StartColumn, area.StartRow, area.EndColumn, area.EndRow);
        const auto values = Reference<css::sheet::XCellRangeData>(range, UNO_QUERY_THROW)->getDataArray();
        std::vector<SheetRow> rows;
        for (sal_Int32 r = 0; r < values.getLength(); ++r) {
            SheetRow row;
            row.row = area.StartRow + r + 1;
            bool any = false;
            const auto& cells = values[r];
            for (sal_Int32 c = 0; c < cells.getLength(); ++c) {
                rtl::OUString text;
                if (!(cells[c] >>= text) && cells[c].hasValue()) {
                    // A number, a date, a formula's number: its formatted text.
                    text = Reference<css::text::XText>(range->getCellByPosition(c, r), UNO_QUERY_THROW)->getString();
                }
                row.cells << toQString(text);
                any = any || !text.trim().isEmpty();
            }
            if (any) rows.push_back(std::move(row));
        }
        return rows;
    });
}

}  // namespace marigal::engine::lo
