#include "batch/combined_pdf.h"

#include "common/errors.h"
#include "common/placed_files.h"

#include <QFile>

#include <memory>

#include <qpdf/ClosedFileInputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

namespace marigal::batch {

int CombinePdfs(const std::vector<QString>& parts, const QString& target, bool replace)
{
    QPDF combined;
    combined.emptyPDF();
    QPDFPageDocumentHelper pages(combined);
    // Read as the writer needs them, each opened only while read: a list of
    // ten thousand cards needs no more open files than one.
    std::vector<std::unique_ptr<QPDF>> sources;
    int count = 0;
    for (const QString& part : parts) {
        auto input = std::make_shared<ClosedFileInputSource>(QFile::encodeName(part).constData());
        auto source = std::make_unique<QPDF>();
        input->stayOpen(true);  // open while it is parsed and its pages copied, not for each read
        source->processInputSource(input);
        for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(*source).getAllPages()) {
            pages.addPage(page, false);
            ++count;
        }
        input->stayOpen(false);
        sources.push_back(std::move(source));
    }
    // Never over anything but a plain file: the same rule as the cards'.
    StagedFiles staged;
    const QString temp = staged.addForWriter(target, replace);
    QPDFWriter writer(combined, QFile::encodeName(temp).constData());
    // Copied as they are: decoding the pages' streams to compress them
    // again would take most of the time and gain nothing.
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(false);
    writer.write();
    staged.commit(replace);
    return count;
}

}  // namespace marigal::batch
