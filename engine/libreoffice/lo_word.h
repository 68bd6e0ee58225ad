#pragma once
// Word's documents, shapes, bookmarks, ranges and selection, played by a
// Writer document in a private office. What the card pipeline relies on:
//
// Names. A text place of a design (a text box, a rectangle with text) is a
// drawing shape with a text box whose text starts with a collapsed bookmark
// named after it, blanks as underscores ("Text_Box_2"). The office's Word
// import keeps bookmarks but not the names of objects that hold text, so
// Documents.Open gives each text frame that holds such a bookmark the name
// again ("Text Box 2") and the real size of its companion shape (the import
// shrinks the frame to one line). Shapes(name) finds text frames by name
// first, then drawing shapes (WordArt, plain rectangles) on the draw page.
// An unknown name raises "The item with the specified name wasn't found.".
//
// Selection. Selecting a shape that holds text makes its whole text the
// selection; ShapeRange.TextFrame.TextRange.Select does the same for the
// selected (or surrounding) text box; ShapeRange.Select selects that text box
// again; Collapse collapses to the start. TypeText and AddPicture replace a
// selection that is not collapsed and insert at a collapsed one, leaving the
// selection collapsed after what they inserted. TypeParagraph then
// TypeBackspace leaves no extra paragraph. MoveDown(line, n) moves n lines
// down on the laid-out page; Delete(character, n) removes n characters after a
// collapsed selection (an inline picture counts as one) or the selection.
//
// Pictures. AddPicture embeds the picture (the document shows it after the
// file is gone), anchors it as a character, shows it upright (a camera's
// orientation applied) and scales it down to fit the text box's inner width
// and height, or the page's text area, keeping its aspect ratio; it is never
// enlarged. A text box keeps its size; what does not fit is clipped.
//
// Bookmarks. Bookmarks.Item(name).Range is the bookmark's place; setting its
// Text puts the text there. An unknown name raises "The requested member of
// the collection does not exist.".
//
// Files. Documents.Open loads hidden, never running macros, read-only when
// asked; SaveAs writes a Word 97–2003 document; Close and
// Close(SaveChanges:=0) close without saving; ExportAsFixedFormat(path, 17)
// writes a PDF of the document (Word's wdExportFormatPDF), for printing.
// Range.CopyAsPicture renders the whole document, every page side by side,
// and leaves the picture in this program's memory (CopiedPictures), not on
// the desktop's clipboard.
//
// Text sizes and layout. Range.Font's Size, SizeBi, Bold and BoldBi;
// Shapes(name).TextFrame.Overflowing (the office's layout of the box's text
// against its fixed height); Paragraphs(index) or Paragraphs.Item(index),
// Paragraphs.Count, a paragraph's Range and SpaceAfter (points); of the
// body's text, Range.Information(3) (its page) and (6) (points from the
// page's top).

#include "engine/backend.h"
#include "engine/libreoffice/member_table.h"
#include "engine/libreoffice/office_session.h"
#include "engine/object.h"

#include <memory>
#include <mutex>

namespace marigal::engine::lo {

struct WordState;

// Where Range.CopyAsPicture leaves its picture: in this program's memory,
// for the page picture to take, shared by the applications of one backend.
class CopiedPictures {
public:
    void put(CopiedPicture picture)
    {
        std::lock_guard lock(mutex_);
        last_ = std::move(picture);
    }
    CopiedPicture take()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(last_, CopiedPicture{});
    }

private:
    std::mutex mutex_;
    CopiedPicture last_;
};

// The members of Word's Application object that reach documents; the
// application object forwards to it.
class WordDocuments {
public:
    WordDocuments(std::shared_ptr<OfficeSession> session, std::shared_ptr<CopiedPictures> copied);
    ~WordDocuments();

    // `application` is what Document.Application hands back.
    void setApplication(std::weak_ptr<Dispatch> application);

    Value documents();
    Value activeDocument();
    Value selection();
    Value displayAlerts() const;
    void setDisplayAlerts(const Value& v);
    // Closes every document without saving (before the office ends).
    void closeAll() noexcept;

private:
    std::shared_ptr<WordState> state_;
};

}  // namespace marigal::engine::lo
