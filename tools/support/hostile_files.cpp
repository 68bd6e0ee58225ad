#include "tools/support/hostile_files.h"

#include "tools/support/heif_boxes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QRadialGradient>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <utility>

#include <libheif/heif.h>
#include <sys/stat.h>
#include <zlib.h>

namespace marigal::samples {

namespace {

using namespace heif;

// ---------------------------------------------------------------- zip

void PutLe(QByteArray& to, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i) to.append(char((value >> (8 * i)) & 0xFF));
}

// A zip archive written as it goes: each entry's sizes and checksum are
// filled into its local header once its data is through, so an entry of
// gigabytes never has to be held. Without Zip64: every size stays below 4 GB.
class ZipWriter {
public:
    explicit ZipWriter(const QString& path) : file_(path) { ok_ = file_.open(QIODevice::WriteOnly | QIODevice::Truncate); }
    ~ZipWriter()
    {
        if (open_ && deflated_) deflateEnd(&stream_);
    }
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // An entry whole; stored where it must be (an ODF package's mimetype).
    void add(const QByteArray& name, QByteArrayView data, bool deflated = true)
    {
        begin(name, deflated);
        write(data);
        end();
    }

    void begin(const QByteArray& name, bool deflated, int level = Z_BEST_COMPRESSION)
    {
        if (!ok_ || open_) {
            ok_ = false;
            return;
        }
        entry_ = Entry{name, 0, 0, 0, quint64(file_.pos()), quint16(deflated ? 8 : 0)};
        entry_.crc = quint32(crc32(0, nullptr, 0));
        QByteArray header;
        PutLe(header, 0x04034b50, 4);
        PutLe(header, 20, 2);  // version needed: deflate
        PutLe(header, 0, 2);   // flags: sizes are in this header
        PutLe(header, entry_.method, 2);
        PutLe(header, 0, 2);       // time 00:00
        PutLe(header, 0x0021, 2);  // date 1980-01-01
        PutLe(header, 0, 12);      // checksum and sizes, filled in by end()
        PutLe(header, quint64(name.size()), 2);
        PutLe(header, 0, 2);
        header += name;
        put(header);
        deflated_ = deflated;
        if (deflated_) {
            stream_ = {};
            // Raw deflate: the zip entry carries no zlib header.
            if (deflateInit2(&stream_, level, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
                ok_ = false;
                return;
            }
        }
        open_ = true;
    }

    void write(QByteArrayView data)
    {
        if (!ok_ || !open_) {
            ok_ = false;
            return;
        }
        entry_.crc = quint32(crc32(entry_.crc, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
        entry_.size += quint64(data.size());
        if (!deflated_) {
            entry_.compressed += quint64(data.size());
            put(data);
            return;
        }
        pump(data, Z_NO_FLUSH);
    }

    void end()
    {
        if (!ok_ || !open_) {
            ok_ = false;
            return;
        }
        if (deflated_) {
            pump({}, Z_FINISH);
            deflateEnd(&stream_);
        }
        open_ = false;
        if (entry_.size > 0xFFFFFFFFu || entry_.compressed > 0xFFFFFFFFu || entry_.offset > 0xFFFFFFFFu) {
            ok_ = false;
            return;
        }
        QByteArray sizes;
        PutLe(sizes, entry_.crc, 4);
        PutLe(sizes, entry_.compressed, 4);
        PutLe(sizes, entry_.size, 4);
        const qint64 back = file_.pos();
        ok_ = ok_ && file_.seek(qint64(entry_.offset) + 14) && file_.write(sizes) == sizes.size() && file_.seek(back);
        entries_.push_back(entry_);
    }

    // The central directory; false if anything on the way failed.
    bool finish()
    {
        if (!ok_ || open_) return false;
        const quint64 start = quint64(file_.pos());
        QByteArray directory;
        for (const Entry& e : entries_) {
            PutLe(directory, 0x02014b50, 4);
            PutLe(directory, 20, 2);  // made by: MS-DOS attributes, version 2.0
            PutLe(directory, 20, 2);
            PutLe(directory, 0, 2);
            PutLe(directory, e.method, 2);
            PutLe(directory, 0, 2);
            PutLe(directory, 0x0021, 2);
            PutLe(directory, e.crc, 4);
            PutLe(directory, e.compressed, 4);
            PutLe(directory, e.size, 4);
            PutLe(directory, quint64(e.name.size()), 2);
            PutLe(directory, 0, 2);  // extra
            PutLe(directory, 0, 2);  // comment
            PutLe(directory, 0, 2);  // disk
            PutLe(directory, 0, 2);  // internal attributes
            PutLe(directory, 0, 4);  // external attributes
            PutLe(directory, e.offset, 4);
            directory += e.name;
        }
        QByteArray tail;
        PutLe(tail, 0x06054b50, 4);
        PutLe(tail, 0, 4);  // this disk, the directory's disk
        PutLe(tail, quint64(entries_.size()), 2);
        PutLe(tail, quint64(entries_.size()), 2);
        PutLe(tail, quint64(directory.size()), 4);
        PutLe(tail, start, 4);
        PutLe(tail, 0, 2);
        put(directory + tail);
        return ok_ && start <= 0xFFFFFFFFu && file_.flush();
    }

private:
    struct Entry {
        QByteArray name;
        quint32 crc;
        quint64 size, compressed, offset;
        quint16 method;
    };

    void put(QByteArrayView bytes)
    {
        if (ok_ && file_.write(bytes.data(), bytes.size()) != bytes.size()) ok_ = false;
    }

    void pump(QByteArrayView data, int flush)
    {
        char out[1 << 16];
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        stream_.avail_in = uInt(data.size());
        int status = Z_OK;
        do {
            stream_.next_out = reinterpret_cast<Bytef*>(out);
            stream_.avail_out = sizeof out;
            status = deflate(&stream_, flush);
            if (status == Z_STREAM_ERROR) {
                ok_ = false;
                return;
            }
            const qsizetype made = qsizetype(sizeof out - stream_.avail_out);
            entry_.compressed += quint64(made);
            put(QByteArrayView(out, made));
        } while (stream_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    }

    QFile file_;
    bool ok_ = false, open_ = false, deflated_ = false;
    z_stream stream_{};
    Entry entry_{};
    QList<Entry> entries_;
};

// ---------------------------------------------------------------- lists

QByteArray Xml(const QString& text) { return text.toHtmlEscaped().toUtf8(); }

// "A", ..., "Z", "AA", ..., "XFD" for columns 0, 1, ... 16383.
QByteArray ColumnName(int column)
{
    QByteArray name;
    for (int n = column + 1; n > 0; n = (n - 1) / 26) name.prepend(char('A' + (n - 1) % 26));
    return name;
}

QByteArray CellName(int column, int row) { return ColumnName(column) + QByteArray::number(row); }

// The rows every list starts with: its header and one card, as cells of text.
QList<QList<QByteArray>> CardRows(const char* card = kGuestCard)
{
    return {{"design", "message", "photo", "output"}, {"Hearts", "Dear Ann, thank you!", kGuestPhoto, card}};
}

// An Excel row of text cells, each numbered as Excel numbers it.
QByteArray XlsxRow(int row, const QList<QByteArray>& texts, const QByteArray& more = {})
{
    QByteArray xml = "<row r=\"" + QByteArray::number(row) + "\">";
    for (int c = 0; c < texts.size(); ++c)
        xml += "<c r=\"" + CellName(c, row) + "\" t=\"inlineStr\"><is><t>" + Xml(QString::fromUtf8(texts[c])) +
               "</t></is></c>";
    return xml + more + "</row>";
}

const char kXmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char kSheetNs[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char kRelNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char kPackageRelNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";

QByteArray Relationship(const QByteArray& id, const QByteArray& type, const QByteArray& target, bool external = false)
{
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRelNs + "/" + type + "\" Target=\"" + target + "\"" +
           (external ? " TargetMode=\"External\"" : "") + "/>";
}

QByteArray Relationships(const QByteArray& body)
{
    return kXmlHead + QByteArray("<Relationships xmlns=\"") + kPackageRelNs + "\">" + body + "</Relationships>";
}

// What a workbook holds beside its one sheet.
struct XlsxExtras {
    QByteArray contentTypes;   // <Override/>s for the parts below
    QByteArray workbookTail;   // after <sheets>, e.g. <externalReferences>
    QByteArray workbookRels;   // the workbook's relationships past rId1 (its sheet)
    QByteArray sheetRels;      // the sheet's relationships, if any
    QList<std::pair<QByteArray, QByteArray>> parts;  // name, body
};

// An .xlsx of one sheet, whose worksheet part `sheet` writes into the
// archive as a stream.
bool WriteXlsx(const QString& path, const std::function<void(ZipWriter&)>& sheet, const XlsxExtras& extras = {})
{
    ZipWriter zip(path);
    zip.add("[Content_Types].xml",
            kXmlHead +
                QByteArray("<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                           "<Default Extension=\"rels\" "
                           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                           "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
                           "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                           "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/"
                           "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>") +
                extras.contentTypes + "</Types>");
    zip.add("_rels/.rels", Relationships(Relationship("rId1", "officeDocument", "xl/workbook.xml")));
    zip.add("xl/workbook.xml", kXmlHead + QByteArray("<workbook xmlns=\"") + kSheetNs + "\" xmlns:r=\"" + kRelNs +
                                   "\"><sheets><sheet name=\"Guests\" sheetId=\"1\" r:id=\"rId1\"/></sheets>" +
                                   extras.workbookTail + "</workbook>");
    zip.add("xl/_rels/workbook.xml.rels",
            Relationships(Relationship("rId1", "worksheet", "worksheets/sheet1.xml") + extras.workbookRels));
    zip.begin("xl/worksheets/sheet1.xml", true);
    sheet(zip);
    zip.end();
    if (!extras.sheetRels.isEmpty()) zip.add("xl/worksheets/_rels/sheet1.xml.rels", Relationships(extras.sheetRels));
    for (const auto& [name, body] : extras.parts) zip.add(name, body);
    return zip.finish();
}

QByteArray SheetHead(const QByteArray& dimension)
{
    return kXmlHead + QByteArray("<worksheet xmlns=\"") + kSheetNs + "\" xmlns:r=\"" + kRelNs + "\"><dimension ref=\"" +
           dimension + "\"/><sheetData>";
}

// An .ods of one sheet: `rows` of text cells, the last row followed by
// `moreCells` (raw cell elements).
bool WriteOds(const QString& path, const QList<QList<QByteArray>>& rows, const QByteArray& moreCells)
{
    const QByteArray type = "application/vnd.oasis.opendocument.spreadsheet";
    QByteArray content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
        "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
        "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" office:version=\"1.2\">"
        "<office:body><office:spreadsheet><table:table table:name=\"Guests\">"
        "<table:table-column table:number-columns-repeated=\"8\"/>";
    for (int r = 0; r < rows.size(); ++r) {
        content += "<table:table-row>";
        for (const QByteArray& text : rows[r])
            content += "<table:table-cell office:value-type=\"string\"><text:p>" + Xml(QString::fromUtf8(text)) +
                       "</text:p></table:table-cell>";
        if (r == rows.size() - 1) content += moreCells;
        content += "</table:table-row>";
    }
    content += "</table:table></office:spreadsheet></office:body></office:document-content>";

    ZipWriter zip(path);
    // An ODF package names its kind first, stored, so that it can be told by its first bytes.
    zip.add("mimetype", type, false);
    zip.add("META-INF/manifest.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
            "manifest:version=\"1.2\"><manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" "
            "manifest:media-type=\"" +
                type +
                "\"/><manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
                "</manifest:manifest>");
    zip.add("content.xml", content);
    return zip.finish();
}

// A cell holding a picture anchored to it, its pixels at `href`.
QByteArray OdsLinkedPictureCell(const QString& href)
{
    return "<table:table-cell><draw:frame draw:name=\"Photo\" draw:z-index=\"0\" svg:x=\"0cm\" svg:y=\"0cm\" "
           "svg:width=\"4cm\" svg:height=\"3cm\" table:end-cell-address=\"Guests.G6\" table:end-x=\"0cm\" "
           "table:end-y=\"0cm\"><draw:image xlink:href=\"" +
           Xml(href) +
           "\" xlink:type=\"simple\" xlink:show=\"embed\" xlink:actuate=\"onLoad\"/></draw:frame></table:table-cell>";
}

QByteArray OdsFormulaCell(const QString& formula)
{
    return "<table:table-cell table:formula=\"" + Xml(formula) +
           "\" office:value-type=\"string\" office:string-value=\"\"><text:p/></table:table-cell>";
}

// ---------------------------------------------------------------- PNG

bool WriteChunk(QFile& file, const char (&type)[5], QByteArrayView data)
{
    QByteArray chunk;
    Put(chunk, quint64(data.size()), 4);
    chunk.append(type, 4).append(data.data(), data.size());
    Put(chunk, crc32(0, reinterpret_cast<const Bytef*>(chunk.constData() + 4), uInt(chunk.size() - 4)), 4);
    return file.write(chunk) == chunk.size();
}

// A PNG of 8-bit samples, `channels` to a pixel (1 with `palette`, else
// 4: RGBA), each row filled by `fill` and compressed as it comes, so the
// picture is never whole in memory.
bool WritePngRows(const QString& path, int width, int height, const QByteArray& palette,
                  const std::function<void(int, uchar*)>& fill, int level)
{
    const int channels = palette.isEmpty() ? 4 : 1;
    if (width <= 0 || height <= 0) return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write("\x89PNG\r\n\x1A\n", 8) != 8) return false;
    QByteArray header;
    Put(header, quint64(width), 4);
    Put(header, quint64(height), 4);
    header.append(char(8)).append(char(palette.isEmpty() ? 6 : 3)).append(QByteArray(3, '\0'));
    if (!WriteChunk(file, "IHDR", header)) return false;
    if (!palette.isEmpty() && !WriteChunk(file, "PLTE", palette)) return false;

    z_stream z{};
    if (deflateInit(&z, level) != Z_OK) return false;
    const std::unique_ptr<z_stream, int (*)(z_stream*)> done(&z, deflateEnd);
    QByteArray row(1 + qsizetype(width) * channels, '\0');  // filter byte 0: none
    QByteArray out(1 << 18, '\0');
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    for (int y = 0; y <= height; ++y) {
        const bool last = y == height;
        if (!last) fill(y, reinterpret_cast<uchar*>(row.data()) + 1);
        z.next_in = reinterpret_cast<Bytef*>(row.data());
        z.avail_in = last ? 0 : uInt(row.size());
        int status = Z_OK;
        do {
            status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_ERROR) return false;
            // A full buffer, or the end, makes one IDAT chunk.
            if (z.avail_out == 0 || (last && status == Z_STREAM_END)) {
                if (!WriteChunk(file, "IDAT", QByteArrayView(out.constData(), out.size() - qsizetype(z.avail_out))))
                    return false;
                z.next_out = reinterpret_cast<Bytef*>(out.data());
                z.avail_out = uInt(out.size());
            }
        } while (z.avail_in > 0 || (last && status != Z_STREAM_END));
    }
    return WriteChunk(file, "IEND", {}) && file.flush();
}

// ---------------------------------------------------------------- HEIF

// One HEVC picture as libheif codes it: its decoder configuration ('hvcC'),
// the boxes that describe its pixels ('colr', 'pixi') and its coded data.
// A cheap, even spread of bits for the grain of a made-up photo.
quint32 Hash(quint32 x, quint32 y)
{
    quint32 h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

}  // namespace

bool WriteGuestPhoto(const QString& path)
{
    QImage photo(1600, 1200, QImage::Format_RGB32);
    QPainter p(&photo);
    QLinearGradient sky(0, 0, 0, 1200);
    sky.setColorAt(0, QColor(90, 140, 210));
    sky.setColorAt(0.6, QColor(230, 200, 170));
    sky.setColorAt(1, QColor(60, 110, 50));
    p.fillRect(photo.rect(), sky);
    QRadialGradient sun(1100, 350, 160);
    sun.setColorAt(0, QColor(255, 240, 180));
    sun.setColorAt(1, QColor(255, 200, 120, 0));
    p.fillRect(photo.rect(), sun);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 80, 90));
    p.drawEllipse(QPoint(600, 700), 220, 300);
    p.end();
    return photo.save(path, "JPEG", 90);
}

bool WriteCornerXlsx(const QString& path)
{
    return WriteXlsx(path, [](ZipWriter& zip) {
        const QList<QList<QByteArray>> rows = CardRows("cards/corner.doc");
        zip.write(SheetHead("A1:XFD1048576"));
        zip.write(XlsxRow(1, rows[0]));
        zip.write(XlsxRow(2, rows[1]));
        // A cell typed at the sheet's very end and forgotten, as happens.
        zip.write("<row r=\"1048576\"><c r=\"XFD1048576\" t=\"inlineStr\"><is><t>x</t></is></c></row>");
        zip.write("</sheetData></worksheet>");
    });
}

bool WriteZipBombXlsx(const QString& path)
{
    constexpr int kLastRow = 2 + 400000, kColumns = 266;
    return WriteXlsx(path, [](ZipWriter& zip) {
        const QList<QList<QByteArray>> rows = CardRows("cards/bomb.doc");
        zip.write(SheetHead("A1:" + CellName(kColumns - 1, kLastRow)));
        zip.write(XlsxRow(1, rows[0]));
        zip.write(XlsxRow(2, rows[1]));
        // Cells without their names, as Excel may leave them: they follow one
        // another. Only the row's number changes from row to row, which
        // keeps deflate near 400 to 1 rather than a thousand: 400000 rows
        // of 266 cells make 1.6 GB of 4 MB.
        QByteArray cells;
        for (int c = 0; c < kColumns; ++c) cells += "<c><v>1</v></c>";
        for (int r = 3; r <= kLastRow; ++r) zip.write("<row r=\"" + QByteArray::number(r) + "\">" + cells + "</row>");
        zip.write("</sheetData></worksheet>");
    });
}

bool WriteLinkedPictureOds(const QString& path, const QString& url, int pictures)
{
    const QUrl picture(url);
    const QString service = picture.resolved(QUrl(QStringLiteral("webservice?from=ods"))).toString();
    const QString book = picture.resolved(QUrl(QStringLiteral("book.ods"))).toString();
    QByteArray cells = OdsLinkedPictureCell(url);
    for (int n = 2; n <= pictures; ++n) {
        QUrl more(picture);
        more.setQuery(QStringLiteral("n=%1").arg(n));
        cells += OdsLinkedPictureCell(more.toString());
    }
    return WriteOds(path, CardRows("cards/linked-ods.doc"),
                    cells + OdsFormulaCell(QStringLiteral("of:=WEBSERVICE(\"%1\")").arg(service)) +
                        OdsFormulaCell(QStringLiteral("of:=['%1'#$Sheet1.A1]").arg(book)));
}

bool WriteLinkedPictureXlsx(const QString& path, const QString& url)
{
    const QUrl picture(url);
    const QString service = picture.resolved(QUrl(QStringLiteral("webservice?from=xlsx"))).toString();
    const QByteArray book = Xml(picture.resolved(QUrl(QStringLiteral("book.xlsx"))).toString());
    XlsxExtras extras;
    extras.contentTypes =
        "<Override PartName=\"/xl/drawings/drawing1.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.drawing+xml\"/>"
        "<Override PartName=\"/xl/externalLinks/externalLink1.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.externalLink+xml\"/>";
    extras.workbookTail = "<externalReferences><externalReference r:id=\"rId2\"/></externalReferences>";
    extras.workbookRels = Relationship("rId2", "externalLink", "externalLinks/externalLink1.xml");
    extras.sheetRels = Relationship("rId1", "drawing", "../drawings/drawing1.xml");
    // The picture: a drawing whose blip is linked (r:link), not embedded (r:embed).
    extras.parts.push_back(
        {"xl/drawings/drawing1.xml",
         kXmlHead + QByteArray(
                        "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
                        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" xmlns:r=\"") +
             kRelNs +
             "\"><xdr:twoCellAnchor editAs=\"oneCell\">"
             "<xdr:from><xdr:col>4</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>1</xdr:row><xdr:rowOff>0</xdr:rowOff>"
             "</xdr:from><xdr:to><xdr:col>6</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>6</xdr:row>"
             "<xdr:rowOff>0</xdr:rowOff></xdr:to><xdr:pic><xdr:nvPicPr><xdr:cNvPr id=\"2\" name=\"Photo\"/>"
             "<xdr:cNvPicPr><a:picLocks noChangeAspect=\"1\"/></xdr:cNvPicPr></xdr:nvPicPr>"
             "<xdr:blipFill><a:blip r:link=\"rId1\"/><a:stretch><a:fillRect/></a:stretch></xdr:blipFill>"
             "<xdr:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"1440000\" cy=\"1080000\"/></a:xfrm>"
             "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></xdr:spPr></xdr:pic><xdr:clientData/>"
             "</xdr:twoCellAnchor></xdr:wsDr>"});
    extras.parts.push_back({"xl/drawings/_rels/drawing1.xml.rels",
                            Relationships(Relationship("rId1", "image", Xml(url), true))});
    // Another workbook at the server, with the value Excel last saw cached here.
    extras.parts.push_back(
        {"xl/externalLinks/externalLink1.xml",
         kXmlHead + QByteArray("<externalLink xmlns=\"") + kSheetNs + "\" xmlns:r=\"" + kRelNs +
             "\"><externalBook r:id=\"rId1\"><sheetNames><sheetName val=\"Sheet1\"/></sheetNames>"
             "<sheetDataSet><sheetData sheetId=\"0\"><row r=\"1\"><cell r=\"A1\" t=\"str\"><v>cached</v></cell>"
             "</row></sheetData></sheetDataSet></externalBook></externalLink>"});
    extras.parts.push_back({"xl/externalLinks/_rels/externalLink1.xml.rels",
                            Relationships(Relationship("rId1", "externalLinkPath", book, true))});
    return WriteXlsx(
        path,
        [&](ZipWriter& zip) {
            const QList<QList<QByteArray>> rows = CardRows("cards/linked-xlsx.doc");
            zip.write(SheetHead("A1:F2"));
            zip.write(XlsxRow(1, rows[0]));
            zip.write(XlsxRow(2, rows[1],
                              "<c r=\"E2\" t=\"str\"><f>WEBSERVICE(\"" + Xml(service) + "\")</f><v></v></c>"
                              "<c r=\"F2\" t=\"str\"><f>[1]Sheet1!A1</f><v>cached</v></c>"));
            zip.write("</sheetData><drawing r:id=\"rId1\"/></worksheet>");
        },
        extras);
}

bool WriteHeifBomb(const QString& path, HeifBombTiles tiles, int columns, int rows, int tile)
{
    // Each tile is 4:2:0, so its sides halve evenly; the grid counts its rows
    // and columns in a byte, items and references in 16 bits.
    if (tile < 16 || tile % 2 || columns < 1 || rows < 1 || columns > 256 || rows > 256 || rows * columns + 1 > 0xFFFF)
        return false;
    QImage plain(tile, tile, QImage::Format_RGB888);
    plain.fill(QColor(236, 214, 196));
    CodedPicture coded;
    if (!heif_have_encoder_for_format(heif_compression_HEVC) || !EncodeAlone(plain, 50, coded)) return false;

    const qint64 width = qint64(columns) * tile, height = qint64(rows) * tile;
    const QByteArray grid = GridBody(rows, columns, quint64(width), quint64(height));

    // Item 1 is the grid; the tiles follow, one item, or one for each place.
    const int places = rows * columns;
    const int tileItems = tiles == HeifBombTiles::OneItem ? 1 : places;
    const auto tileId = [tiles](int place) { return quint64(tiles == HeifBombTiles::OneItem ? 2 : 2 + place); };

    // Properties: 1 the tile's decoder configuration, 2 its size, 3 the
    // grid's size, then how the pixels are described, shared by all.
    QByteArray ipco = coded.hvcC + Ispe(tile, tile) + Ispe(int(width), int(height));
    for (const auto& [box, essential] : coded.described) ipco += box;
    const auto described = [&](QByteArray& to) {
        for (int i = 0; i < coded.described.size(); ++i) Put(to, quint64(4 + i), 1);
    };
    QByteArray ipma;
    Put(ipma, quint64(1 + tileItems), 4);
    Put(ipma, 1, 2);
    Put(ipma, quint64(1 + coded.described.size()), 1);
    Put(ipma, 3, 1);
    described(ipma);
    for (int i = 0; i < tileItems; ++i) {
        Put(ipma, tileId(i), 2);
        Put(ipma, quint64(2 + coded.described.size()), 1);
        Put(ipma, 0x80 | 1, 1);  // the decoder configuration is essential
        Put(ipma, 2, 1);
        described(ipma);
    }

    QByteArray dimg;
    Put(dimg, 1, 2);
    Put(dimg, quint64(places), 2);
    for (int i = 0; i < places; ++i) Put(dimg, tileId(i), 2);

    const QByteArray ftyp = HeicFileType();

    // The 'meta' box with the data starting at `start`: the grid's
    // description, then the tile's coded bytes, which every tile item names.
    const auto meta = [&](quint64 start) {
        QByteArray iloc, iinf;
        Put(iloc, 0x44, 1);  // 4-byte offsets and lengths
        Put(iloc, 0, 1);     // no base offset
        Put(iloc, quint64(1 + tileItems), 2);
        Put(iinf, quint64(1 + tileItems), 2);
        const auto item = [&](quint64 id, const char* type, quint64 offset, qsizetype length, bool hidden) {
            Put(iloc, id, 2);
            Put(iloc, 0, 2);  // this file
            Put(iloc, 1, 2);  // one extent
            Put(iloc, offset, 4);
            Put(iloc, quint64(length), 4);
            iinf += ItemInfo(id, type, hidden);
        };
        item(1, "grid", start, grid.size(), false);
        for (int i = 0; i < tileItems; ++i) item(tileId(i), "hvc1", start + quint64(grid.size()), coded.data.size(), true);
        return MakeBox("meta",
                       PictureHandlerAndPrimary(1) + MakeBox("iloc", iloc, 0) +
                           MakeBox("iinf", iinf, 0) + MakeBox("iref", MakeBox("dimg", dimg), 0) +
                           MakeBox("iprp", MakeBox("ipco", ipco) + MakeBox("ipma", ipma, 0)),
                       0);
    };
    const quint64 start = quint64(ftyp.size() + meta(0).size()) + 8;
    QByteArray whole = ftyp + meta(start);
    Put(whole, quint64(8 + grid.size() + coded.data.size()), 4);
    whole += "mdat" + grid + coded.data;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(whole) == whole.size() && file.flush();
}

bool WritePngBomb(const QString& path, int width, int height)
{
    // One palette entry; every pixel is entry 0, so each row is zeros and
    // deflate takes about a thousand of them to a byte.
    const QByteArray palette("\xEC\xD6\xC4", 3);
    return WritePngRows(path, width, height, palette, [width](int, uchar* row) { std::fill_n(row, width, uchar(0)); },
                        Z_BEST_COMPRESSION);
}

bool WritePhotoPng(const QString& path, QSize size, bool opaque)
{
    const int w = size.width(), h = size.height();
    return WritePngRows(
        path, w, h, {},
        [w, h, opaque](int y, uchar* row) {
            const double v = double(y) / h;
            for (int x = 0; x < w; ++x) {
                const double u = double(x) / w;
                // Hills: a ridge line of a few waves; below it green, above it sky.
                const double ridge = 0.55 + 0.08 * std::sin(u * 9.0) + 0.04 * std::sin(u * 23.0 + 1.3);
                double r, g, b;
                if (v > ridge) {
                    const double d = (v - ridge) / (1 - ridge);
                    r = 70 + 60 * d;
                    g = 120 - 30 * d + 20 * std::sin(u * 80 + v * 40);
                    b = 50;
                } else {
                    r = 110 + 130 * v;
                    g = 150 + 70 * v;
                    b = 230 - 40 * v;
                    const double sun = std::hypot((u - 0.72) * w, (v - 0.25) * h) / (0.08 * h);
                    if (sun < 3) {
                        const double glow = std::max(0.0, 1 - sun / 3);
                        r += (255 - r) * glow, g += (245 - g) * glow, b += (200 - b) * glow;
                    }
                }
                // Grain, as a sensor's: a few levels either way.
                const quint32 n = Hash(quint32(x), quint32(y));
                const auto put = [](double c, int grain) { return uchar(std::clamp(int(c) + grain, 0, 255)); };
                row[4 * x] = put(r, int(n & 15) - 8);
                row[4 * x + 1] = put(g, int((n >> 4) & 15) - 8);
                row[4 * x + 2] = put(b, int((n >> 8) & 15) - 8);
                // Opaque but for a soft fade at the very edge, as a cut-out's.
                const int edge = std::min({x, y, w - 1 - x, h - 1 - y});
                row[4 * x + 3] = uchar(opaque || edge >= 32 ? 255 : 128 + edge * 4);
            }
        },
        6);
}

bool WriteLongMessageCsv(const QString& path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QByteArray head = "design,message,photo,output\n";
    head += QByteArray("Hearts,\"");
    // Words only, no quote: the field is quoted for its commas alone.
    const QByteArray words = "Dear Ann, thank you for everything, and happy birthday! ";
    bool ok = file.write(head) == head.size();
    for (qint64 left = bytes; ok && left > 0; left -= words.size())
        ok = file.write(words.left(qsizetype(std::min<qint64>(left, words.size())))) > 0;
    const QByteArray tail = QByteArray("\",") + kGuestPhoto + ",cards/long.doc\n" + "Hearts,\"Dear Bob,\nsee you soon!\"," +
                            kGuestPhoto + ",cards/bob.doc\n";
    return ok && file.write(tail) == tail.size() && file.flush();
}

bool WriteFifoList(const QString& path, const QString& fifoName)
{
    const QString fifo = QFileInfo(path).absoluteDir().absoluteFilePath(fifoName);
    QFile::remove(fifo);
    if (::mkfifo(QFile::encodeName(fifo).constData(), 0666) != 0) return false;
    // mkfifo's mode is cut by the umask: whoever reads the list may open it.
    ::chmod(QFile::encodeName(fifo).constData(), 0666);
    return WriteOds(path, CardRows("cards/fifo.doc"), OdsLinkedPictureCell(QUrl::fromLocalFile(fifo).toString()));
}

}  // namespace marigal::samples
