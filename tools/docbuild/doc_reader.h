#pragma once
// Opens a document read-only in a private office and tells what the office's
// import made of it: pages, body paragraphs, bookmarks, text frames and the
// objects of the draw page. For tests that check the documents built here or
// written by the engine, and for docbuild_dump.

#include "engine/libreoffice/office_session.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Reference.hxx>

#include <vector>

namespace marigal::docbuild {

using engine::lo::OfficeSession;

struct ParagraphInfo {
    QString text;
    // The look of its first text portion (or of the paragraph when empty).
    QString font;
    double points = 0;
    bool bold = false;
    QColor color;  // invalid: automatic
    bool centred = false;
    // Implementation names of the objects anchored as characters in it, in
    // order ("SwXTextGraphicObject", ...).
    QStringList inlineObjects;
    bool pageBreakBefore = false;
};

struct BookmarkInfo {
    QString name;
    // "body", or the name of the text frame whose text holds it.
    QString where;
    bool collapsed = false;
    bool atStart = false;  // at the start of that text
};

struct FrameInfo {
    QString name;
    QSize size;
    QSize inner;  // less its inner margins and borders: the room a picture has
    bool automaticHeight = false;
    QString text;
    QString anchorType;
    QStringList inlineObjects;  // as in ParagraphInfo, over all its paragraphs
};

// One object of the draw page (text frames and pictures are on it too).
struct DrawObjectInfo {
    QString implementation;  // "SwXShape", "SwXTextFrame", "SwXTextGraphicObject", ...
    QStringList services;    // XServiceInfo::getSupportedServiceNames
    QString shapeType;       // XShapeDescriptor, e.g. "com.sun.star.drawing.CustomShape"
    QString name;
    QRect area;              // position and size, 1/100 mm
    QString anchorType;      // "page", "paragraph", "character", "as character", "frame"
    int page = 0;            // the anchor's page
    int paragraph = 0;       // the body paragraph holding the anchor, from 1; 0: none
    QString text;            // the object's own text, if it has one
    QString customShapeType; // the geometry's Type: "rectangle", "fontwork-plain-text", ...
    QString font;            // of the object's own text
    bool textBox = false;    // a drawing shape with a text box
    QString textFrame;       // that text box's frame
    QColor fill;             // invalid: no solid, visible fill
    bool opaque = true;      // false: behind the text
};

class DocReader {
public:
    // Loads `path` hidden and read-only (a template as itself, not as a new
    // document made from it). Raises EngineError when it cannot be loaded.
    DocReader(OfficeSession& session, const QString& path);
    ~DocReader();  // closes the document; never throws
    DocReader(const DocReader&) = delete;
    DocReader& operator=(const DocReader&) = delete;

    QSize pageSize();
    int pageCount();
    QString templateName();
    // The import filter the office chose ("MS Word 97", "MS Word 97 Vorlage").
    QString filterName();
    std::vector<ParagraphInfo> paragraphs();
    std::vector<BookmarkInfo> bookmarks();
    std::vector<FrameInfo> frames();
    std::vector<DrawObjectInfo> drawObjects();
    // The pictures the document holds (SwXTextGraphicObject), each at its
    // own pixel size, in the draw page's order.
    std::vector<QImage> pictures();
    // The document as the office prints it, a PDF at `path`.
    void exportPdf(const QString& path);

    // All of the above as text, one item a line.
    QString dump();

    void close();

private:
    OfficeSession& session_;
    css::uno::Reference<css::lang::XComponent> document_;
};

}  // namespace marigal::docbuild
