#pragma once
// Builds a Word 97-2003 document or template through a private office: body
// paragraphs, bookmarks, pictures, and floating objects placed on the page.
// Lengths are in 1/100 mm, the office's unit; positions are measured from the
// top left corner of the page.
//
// The objects are made so that what a Word file keeps of them survives the
// office's own Word import: a "text place" is a drawing rectangle with a text
// box, since the export writes the names of drawing shapes (Word reads them)
// while the import drops the name of anything holding text but keeps the
// bookmarks inside text boxes.
//
// Floating objects are anchored, as Word anchors them, to a paragraph: the
// first one of their page, with the position measured from the page. Word
// files have no page anchors; the import gives every floating object back
// anchored at a character of that paragraph.
//
// Every call goes through the session's call bound and raises EngineError on
// failure, naming the step and the office's own message. The document is
// closed by close() or, at the latest, by the destructor; nothing else stays
// open in the office. The session must outlive the builder.

#include "engine/libreoffice/office_session.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/uno/Reference.hxx>

namespace marigal::docbuild {

using engine::lo::OfficeSession;

// The look of a paragraph; unset fields keep the document's defaults.
struct ParagraphStyle {
    QString font;
    double points = 0;  // font size; 0: default
    bool bold = false;
    QColor color;       // invalid: automatic
    bool centred = false;
    double spaceAfter = 0;  // points below the paragraph
    bool italic = false;
};

// What a text place holds: paragraphs of text ('\n' starts a new one), then
// optionally a picture in a paragraph of its own (also after an empty text
// when it has space above it), anchored as a character.
struct TextPlaceContent {
    QString text;
    ParagraphStyle style;
    QImage picture;
    QSize pictureSize;  // 1/100 mm; empty: the picture's own size
    double spaceAbovePicture = 0;  // points
    QColor fill;        // invalid: no fill
    QColor line;        // invalid: no outline
};

struct WordArtStyle {
    QString font = QStringLiteral("Liberation Serif");
    bool bold = false;
    QColor color = Qt::black;
    bool centred = false;  // each line in the middle
};

enum class Format {
    Doc,  // Word 97-2003 document
    Dot,  // Word 97-2003 template
    Odt,  // the office's own format: what was built, before any Word export
};

class DocBuilder {
public:
    // Opens a new, hidden Writer document in the session's office.
    explicit DocBuilder(OfficeSession& session);
    ~DocBuilder();  // closes the document if still open; never throws
    DocBuilder(const DocBuilder&) = delete;
    DocBuilder& operator=(const DocBuilder&) = delete;

    // Page size and all four margins.
    // All four margins `margin`, or the bottom one `bottomMargin` when given.
    void setPage(int width, int height, int margin, int bottomMargin = -1);
    // The document property "Template" Word shows (File, Properties); Word's
    // attached template is not set.
    void setTemplateName(const QString& name);

    // Body text. The document starts with one empty paragraph, which the first
    // paragraph added fills; every later one is appended.
    void addParagraph(const QString& text, const ParagraphStyle& style = {});
    void addEmptyParagraphs(int count);
    // The next paragraph starts a new page (and is added now, empty).
    void addPageBreak();
    // A collapsed bookmark at the very start of the body.
    void addBookmarkAtStart(const QString& name);
    // An embedded picture, anchored as a character, in a new paragraph.
    void addInlinePicture(const QImage& picture, int width, int height);

    // Floating objects, in front of the text unless said otherwise; `page`
    // must exist (see addPageBreak).
    //
    // A named drawing rectangle with a text box at `area` of `page`, holding
    // `content`, with a collapsed bookmark at the start of its text named
    // after the shape with blanks as underscores ("Text Box 2" ->
    // "Text_Box_2"), since bookmark names cannot hold blanks.
    void addTextPlace(const QString& name, const QRect& area, const TextPlaceContent& content, int page = 1);
    // A named drawing rectangle without text.
    void addShape(const QString& name, const QRect& area, const QColor& fill, const QColor& line = QColor(),
                  int page = 1);
    // A named Fontwork shape (Word's WordArt) drawing `text` ('\n' breaks the
    // line) stretched over `area`, its lines centred if asked.
    void addWordArt(const QString& name, const QRect& area, const QString& text, const WordArtStyle& style = {},
                    int page = 1);
    // A decorative picture behind the text.
    void addBackgroundPicture(const QImage& picture, const QRect& area, int page = 1);

    // Writes the document to `path`, replacing any file there; its folder
    // must exist. The document stays unbound to the file: no lock file is
    // left beside it.
    void saveAs(const QString& path, Format format);
    // Closes the document; later calls raise EngineError.
    void close();

    // Bookmark name of a text place name.
    static QString bookmarkName(const QString& placeName);

private:
    css::uno::Reference<css::text::XText> body() const;
    // Appends a paragraph (or takes the fresh one) and gives a cursor at it.
    css::uno::Reference<css::text::XTextRange> newParagraph();
    css::uno::Reference<css::uno::XInterface> create(const char* service) const;
    // An embedded picture to be inserted as a character.
    css::uno::Reference<css::text::XTextContent> inlinePicture(const QImage& picture, QSize size) const;
    // Anchors and positions a floating object, then inserts it.
    void place(const css::uno::Reference<css::uno::XInterface>& object, const QRect& area, int page, bool inFront);
    css::uno::Reference<css::text::XTextRange> pageStart(int page) const;
    void requireOpen() const;
    void placeStartBookmarks();

    OfficeSession& session_;
    css::uno::Reference<css::text::XTextDocument> document_;
    // The last body paragraph is empty and may take the next paragraph's text.
    bool freshParagraph_ = true;
    QStringList startBookmarks_;
};

}  // namespace marigal::docbuild
