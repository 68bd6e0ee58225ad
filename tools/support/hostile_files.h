#pragma once
// Files made to hurt a reader: guest lists and photos that are small on disk
// but large, slow or reaching out once opened, for the tests that show
// marigal-card refusing them in bounded time and memory. Each writer makes
// its file from nothing and returns false when it cannot.

#include <QSize>
#include <QString>

namespace marigal::samples {

// The card row every list below carries, relative to the list's folder: a
// photo the test lays there and a card in a folder that must exist.
inline constexpr char kGuestPhoto[] = "photos/ann.jpg";
inline constexpr char kGuestCard[] = "cards/ann.doc";

// A small real photo at `path` (a JPEG), for the lists' card rows.
bool WriteGuestPhoto(const QString& path);

// An .xlsx of about 2 kB: the header design,message,photo,output, one card
// row, and one stray cell in the sheet's last row and column (XFD1048576), so
// that the used area is the whole sheet; its dimension says so, as Excel's does.
bool WriteCornerXlsx(const QString& path);

// An .xlsx of about 4 MB whose sheet unpacks to about 1.6 GB: the header and
// a card row, then 400000 rows of 266 numbers. Written as a stream: the
// sheet is never whole in memory.
bool WriteZipBombXlsx(const QString& path);

// Lists (the header and a card row) whose picture is linked, not embedded:
// in .ods a frame whose image names `url`, in .xlsx a drawing whose picture's
// relationship is external. Each also has a WEBSERVICE formula and a
// reference into another workbook, both at `url`'s server. The .ods may link
// `pictures` pictures, each at its own address (`url`?n=2, ...), as a
// server that never answers makes every one of them a wait.
bool WriteLinkedPictureOds(const QString& path, const QString& url, int pictures = 1);
bool WriteLinkedPictureXlsx(const QString& path, const QString& url);

// How the tiles of WriteHeifBomb's grid are laid out. The tile is coded
// once and its bytes are stored once either way.
enum class HeifBombTiles {
    // Every place of the grid names one item: a few kB. libheif reads the
    // header, but Debian's 1.15.1 refuses to decode the whole ("Too many
    // derived-image decode operations") after taking 3 GB for it.
    OneItem,
    // An item for each place, every one pointing at the same bytes: about
    // 170 kB for 63 x 63, and libheif decodes it whole: 3 GB of RGB, 6 GB
    // at the peak.
    ItemPerPlace,
};

// A HEIC whose header says `columns` x `rows` tiles of `tile` pixels
// (by default 63 x 63 of 512: 32256 x 32256) of one plain colour.
bool WriteHeifBomb(const QString& path, HeifBombTiles tiles = HeifBombTiles::ItemPerPlace, int columns = 63,
                   int rows = 63, int tile = 512);

// A PNG of `width` x `height` pixels of one colour (8-bit palette), about
// 1 MB for 30000 x 30000; written row by row.
bool WritePngBomb(const QString& path, int width, int height);

// An RGBA PNG of `size` that compresses like a photo: a sky, hills, a sun
// and grain, its edge fading out as a cut-out's does, or with `opaque` every
// pixel opaque (still stored with alpha). Written row by row.
bool WritePhotoPng(const QString& path, QSize size, bool opaque = false);

// A CSV list of two cards: the first's message `bytes` long (words, in one
// quoted field), the second an ordinary one.
bool WriteLongMessageCsv(const QString& path, qint64 bytes);

// An .ods list (the header and a card row) with a linked picture that names
// `fifoName`, a FIFO made beside the list: reading it waits for a writer
// that never comes.
bool WriteFifoList(const QString& path, const QString& fifoName = QStringLiteral("picture.png"));

}  // namespace marigal::samples
