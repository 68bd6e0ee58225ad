#pragma once
// The six card designs as Word 97-2003 templates, and the program's other
// generated files (icon, hand pointer, sample photo).
//
// The engine addresses a design's objects by name: the photo goes into the
// picture frames (text places whose text box takes an inline picture), the
// message into the message places and the WordArt. The frames are shaped for
// that: a photo is scaled to fit a frame's inner width and height, keeping its
// proportions, so frames that keep a picture of their own under the photo are
// wider than most photos, and the photo then fills their whole height.

#include "engine/libreoffice/office_session.h"

#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <vector>

namespace marigal::designs {

inline constexpr std::array<int, 6> kDesignIds{101, 102, 103, 104, 105, 106};

// Where a design is kept, relative to the resource folder.
QString DesignFile(int id);

// Where a design's named objects were put, to check them against the file.
struct PlacedObject {
    QString name;
    QRect area;  // 1/100 mm from the page's top left corner
    int page = 1;
};

struct DesignInfo {
    QSize page;  // 1/100 mm
    std::vector<PlacedObject> objects;
};

// Builds design `id` through `session` and writes it to `path` as a Word
// 97-2003 template. Raises EngineError on the office's failures.
DesignInfo BuildDesign(engine::lo::OfficeSession& session, int id, const QString& path);

// Every file below `folder`, with the same relative paths as under
// resources/: the designs, the icons, the pointer and the sample photo.
// Raises EngineError when a design cannot be built and std::runtime_error
// when a file cannot be written.
void WriteAll(engine::lo::OfficeSession& session, const QString& folder);
// Only the files that need no office.
void WriteProgramPictures(const QString& folder);

}  // namespace marigal::designs
