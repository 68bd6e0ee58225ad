#include "preview/card_print.h"

#include "common/errors.h"

#include <QFile>

#include <cups/cups.h>

namespace marigal {

bool AnyPrinter()
{
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    cupsFreeDests(count, dests);
    return count > 0;
}

int PrintPdf(const QString& pdf, const PrintChoice& choice)
{
    int count = 0;
    cups_option_t* options = nullptr;
    const auto add = [&](const char* name, const QByteArray& value) {
        count = cupsAddOption(name, value.constData(), count, &options);
    };
    add("copies", QByteArray::number(std::max(1, choice.copies)));
    if (choice.fromPage > 0 && choice.toPage >= choice.fromPage)
        add("page-ranges", QByteArray::number(choice.fromPage) + '-' + QByteArray::number(choice.toPage));
    if (!choice.media.isEmpty()) add("media", choice.media.toUtf8());
    // The card at its own size, centred on the paper; fitted to it only
    // where it would not fit (a 5 x 7 in card on A4 or Letter goes as it is).
    add("print-scaling", "auto");
    add("document-format", "application/pdf");
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, choice.printer.toUtf8().constData(),
                                   QFile::encodeName(pdf).constData(), choice.title.toUtf8().constData(), count,
                                   options);
    cupsFreeOptions(count, options);
    if (job <= 0) {
        const QString reason = QString::fromUtf8(cupsLastErrorString());
        throw AppError(QStringLiteral("The card could not be printed: %1").arg(reason));
    }
    return job;
}

}  // namespace marigal
