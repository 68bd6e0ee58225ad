#include "batch/sheet_check.h"

#include "engine/libreoffice/lo_backend.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <functional>
#include <stdexcept>
#include <vector>

#include <zlib.h>

namespace marigal::batch {

namespace {

quint32 U16(const uchar* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8;
}

quint32 U32(const uchar* p)
{
    return U16(p) | U16(p + 2) << 16;
}

QString Bytes(qint64 n)
{
    const QLocale english(QLocale::English);
    return n >= (qint64(1) << 30) ? english.toString(double(n) / (qint64(1) << 30), 'f', 1) + QStringLiteral(" GB")
                                  : english.toString(double(n) / (1 << 20), 'f', 0) + QStringLiteral(" MB");
}

[[noreturn]] void TooLarge(qint64 unpacked)
{
    throw std::runtime_error(QStringLiteral("the spreadsheet is too large (%1 unpacked; Marigal reads up to %2)")
                                 .arg(Bytes(unpacked), Bytes(kMostSheetBytes))
                                 .toStdString());
}

struct Entry {
    QByteArray name;
    quint32 method = 0, packed = 0, unpacked = 0, at = 0;
};

// The first `most` bytes of a deflated (or stored) entry of `zip`.
QByteArray Beginning(QFile& zip, const Entry& e, int most)
{
    uchar local[30];
    if (!zip.seek(e.at) || zip.read(reinterpret_cast<char*>(local), 30) != 30 || U32(local) != 0x04034b50) return {};
    if (!zip.seek(e.at + 30 + U16(local + 26) + U16(local + 28))) return {};
    const QByteArray packed = zip.read(qMin<qint64>(e.packed, most));
    if (e.method == 0) return packed;
    if (e.method != 8) return {};
    QByteArray out(most, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return {};
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    z.avail_in = uInt(packed.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    inflate(&z, Z_SYNC_FLUSH);
    out.truncate(int(z.total_out));
    inflateEnd(&z);
    return out;
}

// Calls `chunk` with the entry's unpacked text a piece at a time, each
// piece beginning with the last kOverlap bytes of the one before (so that
// what it looks for is never cut in two), until it returns false.
constexpr int kOverlap = 4096;
void Unpacked(QFile& zip, const Entry& e, const std::function<bool(const QByteArray&)>& chunk)
{
    uchar local[30];
    if (!zip.seek(e.at) || zip.read(reinterpret_cast<char*>(local), 30) != 30 || U32(local) != 0x04034b50) return;
    if (!zip.seek(e.at + 30 + U16(local + 26) + U16(local + 28))) return;
    if (e.method == 0) {
        QByteArray carried;
        for (qint64 left = e.packed; left > 0;) {
            const QByteArray piece = zip.read(qMin<qint64>(left, 1 << 18));
            if (piece.isEmpty()) return;
            left -= piece.size();
            if (!chunk(carried + piece)) return;
            carried = piece.right(kOverlap);
        }
        return;
    }
    if (e.method != 8) return;
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return;
    QByteArray carried, out(1 << 18, '\0');
    int status = Z_OK;
    for (qint64 left = e.packed; status != Z_STREAM_END && (left > 0 || z.avail_in > 0);) {
        QByteArray in;
        if (z.avail_in == 0) {
            in = zip.read(qMin<qint64>(left, 1 << 16));
            if (in.isEmpty()) break;
            left -= in.size();
            z.next_in = reinterpret_cast<Bytef*>(in.data());
            z.avail_in = uInt(in.size());
        }
        while (z.avail_in > 0 && status != Z_STREAM_END) {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            status = inflate(&z, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                inflateEnd(&z);
                return;
            }
            const QByteArray piece = out.left(int(out.size() - z.avail_out));
            if (!piece.isEmpty() && !chunk(carried + piece)) {
                inflateEnd(&z);
                return;
            }
            carried = (carried + piece).right(kOverlap);
        }
    }
    inflateEnd(&z);
}

// A picture or an object the workbook shows but does not hold: the office
// would fetch it from wherever it names (a server, a pipe that never ends).
[[noreturn]] void LinksOut(const QString& target)
{
    throw std::runtime_error(QStringLiteral("it shows a picture kept outside it (%1), which Marigal does not fetch: "
                                            "save the list without it")
                                 .arg(target.left(200))
                                 .toStdString());
}

// In an OpenDocument workbook: a drawing's link that leaves the package.
void CheckOpenDocumentLinks(const QByteArray& xml)
{
    static const QRegularExpression link(QStringLiteral(
        "<(?:draw:(?:image|object|object-ole|plugin|applet|fill-image|floating-frame)|table:table-source|"
        "office:dde-source)\\b[^>]*?xlink:href=\"([^\"]*)\""));
    for (auto m = link.globalMatch(QString::fromUtf8(xml)); m.hasNext();) {
        const QString target = m.next().captured(1);
        const bool inside = !target.contains(QLatin1Char(':')) && !target.startsWith(QLatin1Char('/')) &&
                            !target.startsWith(QLatin1String("../"));
        if (!inside) LinksOut(target);
    }
}

// In an Office Open XML workbook: a relationship to something outside it,
// but for a cell's hyperlink (never fetched) and a formula's reference to
// another workbook (never updated).
void CheckOfficeOpenXmlLinks(const QByteArray& rels)
{
    static const QRegularExpression relation(QStringLiteral("<Relationship\\b[^>]*>"));
    static const QRegularExpression type(QStringLiteral("Type=\"[^\"]*/([^\"/]*)\""));
    static const QRegularExpression target(QStringLiteral("Target=\"([^\"]*)\""));
    for (auto m = relation.globalMatch(QString::fromUtf8(rels)); m.hasNext();) {
        const QString r = m.next().captured(0);
        if (!r.contains(QLatin1String("TargetMode=\"External\""))) continue;
        const QString kind = type.match(r).captured(1);
        if (kind == QLatin1String("hyperlink") || kind == QLatin1String("externalLinkPath")) continue;
        LinksOut(target.match(r).captured(1));
    }
}

// "XFD" -> 16384, "A" -> 1.
qint64 ColumnNumber(const QString& letters)
{
    qint64 n = 0;
    for (const QChar c : letters) n = n * 26 + (c.toUpper().unicode() - u'A' + 1);
    return n;
}

}  // namespace

void CheckSpreadsheet(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray head = file.read(4);
    if (!head.startsWith("PK\x03\x04")) {
        if (!head.startsWith("<?xm")) return;
        // A flat workbook is its own unpacked size.
        if (file.size() > kMostSheetBytes) TooLarge(file.size());
        file.seek(0);
        QByteArray carried;
        while (!file.atEnd()) {
            const QByteArray piece = file.read(1 << 18);
            CheckOpenDocumentLinks(carried + piece);
            carried = piece.right(kOverlap);
        }
        return;
    }
    // The zip's directory, at its end: what each entry unpacks to.
    const qint64 tail = qMin<qint64>(file.size(), 65536 + 22);
    file.seek(file.size() - tail);
    const QByteArray end = file.read(tail);
    const int eocd = end.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (eocd < 0 || eocd + 22 > end.size()) return;
    const auto* e = reinterpret_cast<const uchar*>(end.constData()) + eocd;
    const quint32 count = U16(e + 10), size = U32(e + 12), offset = U32(e + 16);
    if (size > 64u << 20 || !file.seek(offset)) return;
    const QByteArray directory = file.read(size);
    std::vector<Entry> entries;
    qint64 unpacked = 0;
    for (qsizetype at = 0; entries.size() < count && at + 46 <= directory.size();) {
        const auto* d = reinterpret_cast<const uchar*>(directory.constData()) + at;
        if (U32(d) != 0x02014b50) break;
        Entry entry;
        entry.method = U16(d + 10);
        entry.packed = U32(d + 20);
        entry.unpacked = U32(d + 24);
        entry.at = U32(d + 42);
        const quint32 nameLength = U16(d + 28), extra = U16(d + 30), comment = U16(d + 32);
        entry.name = directory.mid(at + 46, nameLength);
        // Sizes beyond 4 GB are told only in the zip64 field: taken as too large.
        if (entry.unpacked == 0xFFFFFFFFu || entry.packed == 0xFFFFFFFFu) TooLarge(qint64(1) << 32);
        unpacked += entry.unpacked;
        entries.push_back(entry);
        at += 46 + nameLength + extra + comment;
    }
    if (unpacked > kMostSheetBytes) TooLarge(unpacked);

    // What it links to, before the office can follow a link.
    for (const Entry& entry : entries) {
        if (entry.name == "content.xml" || entry.name == "styles.xml")
            Unpacked(file, entry, [](const QByteArray& xml) {
                CheckOpenDocumentLinks(xml);
                return true;
            });
        else if (entry.name.endsWith(".rels"))
            Unpacked(file, entry, [](const QByteArray& rels) {
                CheckOfficeOpenXmlLinks(rels);
                return true;
            });
    }

    // Each sheet of an .xlsx says how large it is near its start.
    static const QRegularExpression dimension(QStringLiteral("<dimension\\s+ref=\"[A-Z]*[0-9]*:?([A-Z]+)([0-9]+)\""));
    for (const Entry& entry : entries) {
        if (!entry.name.startsWith("xl/worksheets/") || !entry.name.endsWith(".xml")) continue;
        const QRegularExpressionMatch m = dimension.match(QString::fromUtf8(Beginning(file, entry, 4096)));
        if (!m.hasMatch()) continue;
        const qint64 rows = m.captured(2).toLongLong(), columns = ColumnNumber(m.captured(1));
        if (rows > engine::kMostSheetRows || columns > engine::kMostSheetColumns) {
            const QLocale english(QLocale::English);
            throw std::runtime_error(QStringLiteral("the sheet is too large (%1 rows × %2 columns)")
                                         .arg(english.toString(rows), english.toString(columns))
                                         .toStdString());
        }
    }
}

}  // namespace marigal::batch
