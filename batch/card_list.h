#pragma once
// What the command is asked to make: one card from its options, or the
// rows of a list. Everything that can be told before any card is made is
// told here.

#include "common/placed_files.h"
#include "photo/prepare.h"

#include <QString>
#include <QStringList>

#include <functional>
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
    int row = 0;          // the CSV's line or the sheet's row, as the user sees it; 0 for the one card
    int design = -1;      // -1: `problem` says why
    QString message;
    QString photo;        // empty: the design's own picture
    QString output;       // the .doc
    QString picture;      // optional .png of its pages
    QString pdf;          // optional .pdf
    int dpi = 150;        // the picture's resolution
    PhotoFit fit = PhotoFit::Fill;  // how the photo takes its frames
    // Where a list's outputs may be written and its photos read from (every
    // link followed); anywhere when empty: the one card of the command line,
    // or a list the user trusts.
    FolderRule outputs, photos;
    // A row that cannot be made (an unknown design, no output): it fails
    // with this text without reaching an office.
    QString problem;
};

// One row of a table, its cells as they show, numbered as the user sees it.
struct TableRow {
    int row = 0;
    QStringList cells;
};

// How a list is read: the CSV's separator and encoding when not told by the
// file itself, the sheet of a spreadsheet (its first when empty), and what
// reads a spreadsheet's rows (leaving out those that are all empty; raises
// std::runtime_error with its reason).
struct ListOptions {
    PhotoFit fit = PhotoFit::Fill;  // for rows whose "fit" cell is empty
    // Relative outputs are taken from here, and every output stays inside
    // it (the list's folder when empty); photos likewise.
    QString outputDir, photosDir;
    bool trustList = false;  // the list's outputs and photos may be anywhere
    QChar delimiter;
    QString encoding;
    QString sheet;
    std::function<std::vector<TableRow>(const QString& path, const QString& sheet)> readSheet;
};

// The columns a list may have: design, message, photo, output, picture,
// pdf, fit.
QStringList ListColumns();

// True when the file is a spreadsheet (by its content: an Office Open XML
// or OpenDocument package, an Excel 97 file, a flat OpenDocument file), not
// a CSV text.
bool IsSpreadsheet(const QString& path);

// The rows of a list, a CSV file or a spreadsheet. Its first row that is not
// empty is the header; it names the columns design, message, photo, output
// and optionally picture, pdf and fit (in any order, any case); rows of empty
// cells are left out; relative paths are taken from the list's folder (or
// the folders ListOptions gives). A row whose output or photo lies outside
// its folder cannot be made ("cards/../../x.doc is outside the list's
// folder"). Raises UsageError for a list that cannot be read, a missing
// column, a list without cards, or two rows writing the same file.
std::vector<CardOrder> ReadCardList(const QString& path, int dpi, const ListOptions& options = {});

// A message's line breaks as they come (CR LF, LF or CR) as the line break
// of a Word document (a vertical tab), which the composition keeps.
QString MessageLines(const QString& text);

// Raises UsageError when two orders write the same file, however they name
// it (a folder reached through a link, a link to a file).
void RefuseSharedOutputs(const std::vector<CardOrder>& cards);

// What a path will name as a file, to tell two names of one file apart
// from two files.
QString OutputKey(const QString& path);

// The cards that fall to shard `k` of `n` (1 <= k <= n): the one at place i
// in the list (the first card being 1) falls to shard ((i - 1) mod n) + 1.
std::vector<CardOrder> Shard(const std::vector<CardOrder>& cards, int k, int n);

}  // namespace marigal::batch
