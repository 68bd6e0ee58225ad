#pragma once
// The boxes of an ISO media file (HEIF): read back from what libheif wrote,
// for the sample and hostile photos that are put together from its parts.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

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

}  // namespace marigal::samples::heif
