#pragma once
// The six card designs the program carries, and how a run gets one onto disk
// and open in the word processor.

#include "engine/object.h"

#include <QByteArray>
#include <QSize>
#include <QString>

namespace marigal {

inline constexpr int kDesignCount = 6;
inline const QString kDesignResourceType = QStringLiteral("CUSTOM");

// The design's caption, as the main window's option shows it (index 5's
// begins with a blank). Raises AppError for an index outside 0..5.
QString DesignCaption(int designIndex);

// The design named by `name`: its index ("0".."5") or its caption, without
// regard to case or to blanks around it ("yellow flower"); -1 when none.
int DesignNamed(const QString& name);

// The smallest type, in points, a design's message may be made to fit its
// text places; a message that needs smaller type is too long for the design.
// Raises AppError for an index outside 0..5.
double MessageFloor(int designIndex);

// The height, in points, "Yellow Flower" keeps for its message above the
// photo, so that the photo keeps its place whatever the message's length.
inline constexpr double kYellowFlowerMessageRoom = 68;

// The faces of the designs' words, chosen for greeting cards from Debian's
// fonts (the package depends on them; the card document names them):
// script and display faces for greetings, book and sans faces for longer
// text.
inline const QString kScriptFace = QStringLiteral("Dancing Script");   // lively handwriting
inline const QString kBrushFace = QStringLiteral("Kaushan Script");    // quick strokes of an inked brush
inline const QString kDisplayFace = QStringLiteral("Lobster Two");     // round, bold, joined
inline const QString kBookFace = QStringLiteral("EB Garamond");        // a classic book face
inline const QString kSansFace = QStringLiteral("Lato");               // warm and plain
inline const QString kRoundFace = QStringLiteral("Quicksand");         // soft and round

// The face of a design's WordArt (designs 3 and 4; empty for the others),
// and whether it is drawn bold.
QString WordArtFace(int designIndex);
bool WordArtBold(int designIndex);

// The inner margins of the designs' text boxes as a Word file keeps them,
// 1/100 mm: a picture that fills a frame is this much smaller than the
// frame on each side.
inline constexpr int kFrameInsetX = 154;
inline constexpr int kFrameInsetY = 154;

// The sizes of the designs' photo frames, 1/100 mm, as tools/make_designs
// draws them: the one of each of designs 0 to 4 that the recipe fills
// first, and Flowers' two small ones.
inline constexpr QSize kPhotoFrames[5] = {{10000, 7500}, {9900, 6300}, {9500, 7100}, {9300, 7000}, {8500, 5600}};
inline constexpr QSize kFlowersSmallFrame{4900, 2800};
// "Yellow Flower"'s room for the photo, below the message's, above the
// meadow: the text area's width, and its height less the message's.
inline constexpr QSize kYellowFlowerPhotoRoom{8300, 9851};

// The resource holding a design: 0 -> 105, 1 -> 101, 2 -> 103, 3 -> 104,
// 4 -> 102, 5 -> 106. Raises AppError for an index outside 0..5.
int DesignResourceId(int designIndex);

// A resource of the program, whole, exactly as stored: the designs are data
// files, "design<id>.dot" in the design folder. Raises AppError when there is
// none of that id and type, or it cannot be read.
QByteArray LoadResData(int id, const QString& type);

// Where the designs are read from: "designs" in the application folder
// (installed, share/marigal/designs), unless set.
QString DesignFolder();
void SetDesignFolder(const QString& folder);

// The working copy of the chosen design.
QString TemplatePath();

// Documents.Open(path, ReadOnly:=True) on a word processor application;
// returns the document.
engine::Object OpenTemplate(const engine::Object& word, const QString& path);

}  // namespace marigal
