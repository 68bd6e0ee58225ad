#pragma once
// The boxes of an ISO media file (HEIF): read back from what libheif wrote,
// for the sample and hostile photos that are put together from its parts.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <utility>

class QImage;

namespace marigal::samples::heif {

constexpr quint32 FourCC(const char (&name)[5])
{
    return quint32(uchar(name[0])) << 24 | quint32(uchar(name[1])) << 16 | quint32(uchar(name[2])) << 8 | uchar(name[3]);
}

// Big-endian fields read off a box's body; `ok` turns false, and stays so,
// once a read runs past its end.
struct Reader {
    const uchar* at;
    qsizetype left;
    bool ok = true;

    explicit Reader(QByteArrayView bytes) : at(reinterpret_cast<const uchar*>(bytes.data())), left(bytes.size()) {}
    quint64 Get(int bytes)
    {
        if (!ok || bytes > left) {
            ok = false;
            return 0;
        }
        quint64 value = 0;
        for (int i = 0; i < bytes; ++i) value = value << 8 | at[i];
        at += bytes;
        left -= bytes;
        return value;
    }
};

struct Box {
    quint32 type = 0;
    QByteArrayView whole, body;
};

// The boxes laid one after another in `bytes`; none when one runs past the end.
inline QList<Box> Boxes(QByteArrayView bytes)
{
    QList<Box> boxes;
    qsizetype at = 0;
    while (bytes.size() - at >= 8) {
        Reader r(bytes.sliced(at));
        quint64 size = r.Get(4);
        const auto type = quint32(r.Get(4));
        qsizetype header = 8;
        if (size == 1) {
            size = r.Get(8);
            header = 16;
        } else if (size == 0) {
            size = quint64(bytes.size() - at);
        }
        if (!r.ok || size < quint64(header) || size > quint64(bytes.size() - at)) return {};
        boxes.push_back({type, bytes.sliced(at, qsizetype(size)), bytes.sliced(at + header, qsizetype(size) - header)});
        at += qsizetype(size);
    }
    return boxes;
}

// `value` as `bytes` big-endian bytes on the end of `to`.
inline void Put(QByteArray& to, quint64 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) to.append(char((value >> (8 * i)) & 0xFF));
}

// A box of `type` around `body`; a full box when `version` is given.
inline QByteArray MakeBox(const char (&type)[5], const QByteArray& body, int version = -1, quint32 flags = 0)
{
    QByteArray box;
    Put(box, quint64(8 + (version >= 0 ? 4 : 0) + body.size()), 4);
    box.append(type, 4);
    if (version >= 0) {
        Put(box, quint64(version), 1);
        Put(box, flags, 3);
    }
    return box + body;
}

// The size property a picture item is given.
inline QByteArray Ispe(int width, int height)
{
    QByteArray body;
    Put(body, quint64(width), 4);
    Put(body, quint64(height), 4);
    return MakeBox("ispe", body, 0);
}

// The body of a 'grid' item: `rows` × `columns` tiles making width × height.
inline QByteArray GridBody(int rows, int columns, quint64 width, quint64 height)
{
    const bool wide = width > 0xFFFF || height > 0xFFFF;
    QByteArray grid;
    Put(grid, 0, 1);  // version
    Put(grid, wide ? 1 : 0, 1);
    Put(grid, quint64(rows - 1), 1);
    Put(grid, quint64(columns - 1), 1);
    Put(grid, width, wide ? 4 : 2);
    Put(grid, height, wide ? 4 : 2);
    return grid;
}

// The file type a still HEIC picture opens with.
inline QByteArray HeicFileType()
{
    QByteArray ftyp("heic");
    Put(ftyp, 0, 4);
    ftyp.append("mif1heic");
    return MakeBox("ftyp", ftyp);
}

// The 'meta' box's handler (pictures) and primary item boxes.
inline QByteArray PictureHandlerAndPrimary(quint64 primary)
{
    QByteArray hdlr;
    Put(hdlr, 0, 4);
    hdlr.append("pict");
    Put(hdlr, 0, 12);
    hdlr.append('\0');
    QByteArray pitm;
    Put(pitm, primary, 2);
    return MakeBox("hdlr", hdlr, 0) + MakeBox("pitm", pitm, 0);
}

// One item's entry in 'iinf'.
inline QByteArray ItemInfo(quint64 id, const char* type, bool hidden)
{
    QByteArray infe;
    Put(infe, id, 2);
    Put(infe, 0, 2);  // not protected
    infe.append(type, 4).append('\0');
    return MakeBox("infe", infe, 2, hidden ? 1 : 0);
}

// What a file of one HEVC picture holds of it: its decoder configuration
// (the 'hvcC' box), the boxes that describe its pixels ('pixi', and 'colr'
// if it has one) with whether a reader must understand them, and its coded data.
struct CodedPicture {
    QByteArray hvcC;
    QList<std::pair<QByteArray, bool>> described;
    QByteArray data;
};

// Encodes `rgb` (RGB888, of even sides) as one HEVC picture in a file of its
// own in memory, and takes its parts out of it.
bool EncodeAlone(const QImage& rgb, int quality, CodedPicture& out);

}  // namespace marigal::samples::heif
