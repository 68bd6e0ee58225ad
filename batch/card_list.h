#pragma once
// What the command is asked to make: one card from its options, or the
// rows of a list. Everything that can be told before any card is made is
// told here.

#include <QString>

#include <stdexcept>
#include <vector>

namespace marigal::batch {

// A mistake in how the command was called: exit status 2, one line.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

struct CardOrder {
    int row = 0;          // the list's row (its header is row 1); 0 for the one card
    int design = -1;      // -1: `problem` says why
    QString message;
    QString photo;        // empty: the design's own picture
    QString output;       // the .doc
    QString picture;      // optional .png of its pages
    QString pdf;          // optional .pdf
    int dpi = 150;        // the picture's resolution
    // A row that cannot be made (an unknown design, no output): it fails
    // with this text without reaching an office.
    QString problem;
};

// The rows of a CSV list. Its header names the columns design, message,
// photo, output and optionally picture and pdf (in any order, any case);
// relative paths are taken from the list's folder. Raises UsageError for a
// list that cannot be read, a missing column, or two rows writing the same
// file.
std::vector<CardOrder> ReadCardList(const QString& path, int dpi);

// A message's line breaks as they come (CR LF, LF or CR) as the line break
// of a Word document (a vertical tab), which the composition keeps.
QString MessageLines(const QString& text);

// Raises UsageError when two orders write the same file.
void RefuseSharedOutputs(const std::vector<CardOrder>& cards);

}  // namespace marigal::batch
