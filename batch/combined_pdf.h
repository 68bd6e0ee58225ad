#pragma once
// Every card of a list in one PDF, as a print shop takes it: the pages as
// the office drew them (vector, fonts embedded), never a picture of them.

#include <QString>

#include <vector>

namespace marigal::batch {

// Writes the PDFs `parts`, in order, as one PDF at `target`: written beside
// it first and put in place whole (over a file there when `replace`; else
// "File already exists"), so nothing half written is ever seen. However many
// parts, only one file is open at a time. Returns its number of pages.
// Raises std::runtime_error with the reason.
int CombinePdfs(const std::vector<QString>& parts, const QString& target, bool replace);

}  // namespace marigal::batch
