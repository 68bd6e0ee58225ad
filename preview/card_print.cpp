#include "preview/card_print.h"

#include "common/errors.h"
#include "common/files.h"
#include "preview/print_sheet.h"

#include <QFile>
#include <QTemporaryFile>

#include <cups/cups.h>

namespace marigal {

bool AnyPrinter()
{
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    cupsFreeDests(count, dests);
    return count > 0;
}

namespace {

// The paper the printer takes when it is not told: what the printing system
// says it defaults to; empty when it does not say.
QSizeF DefaultMedia(const QString& printer)
{
    const QByteArray name = printer.toUtf8();
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.isEmpty() ? nullptr : name.constData(), nullptr);
    if (!dest) return {};
    QSizeF size;
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
        cups_size_t media{};
        if (cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest, info, 0, &media))
            size = QSizeF(media.width, media.length) * (72 / 2540.0);
        cupsFreeDestInfo(info);
    }
    cupsFreeDests(1, dest);
    return size;
}

}  // namespace

int PrintPdf(const QString& pdf, const PrintChoice& choice)
{
    QSizeF paper = MediaSize(choice.media);
    if (paper.isEmpty()) paper = DefaultMedia(choice.printer);
    // The sheets as they are to come out; this function's own file, gone
    // when it returns, whichever way.
    QTemporaryFile sheets(JoinPath(RunFolder(), QStringLiteral("print-XXXXXX.pdf")));
    if (!sheets.open())
        throw AppError(QStringLiteral("The card could not be printed: %1").arg(sheets.errorString()));
    sheets.close();
    ComposeSheets(pdf, paper, sheets.fileName());

    int count = 0;
    cups_option_t* options = nullptr;
    const auto add = [&](const char* name, const QByteArray& value) {
        count = cupsAddOption(name, value.constData(), count, &options);
    };
    add("copies", QByteArray::number(std::max(1, choice.copies)));
    if (choice.fromPage > 0 && choice.toPage >= choice.fromPage)
        add("page-ranges", QByteArray::number(choice.fromPage) + '-' + QByteArray::number(choice.toPage));
    if (!choice.media.isEmpty()) add("media", choice.media.toUtf8());
    // The sheets are the paper's own size already; fitting them again would
    // print a card that is not its size.
    add("print-scaling", "none");
    add("document-format", "application/pdf");
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, choice.printer.toUtf8().constData(),
                                   QFile::encodeName(sheets.fileName()).constData(), choice.title.toUtf8().constData(), count,
                                   options);
    cupsFreeOptions(count, options);
    if (job <= 0) {
        const QString reason = QString::fromUtf8(cupsLastErrorString());
        throw AppError(QStringLiteral("The card could not be printed: %1").arg(reason));
    }
    return job;
}

}  // namespace marigal
