#pragma once
// The pictures of the card designs and the program's own pictures (icon,
// hand pointer, sample photo), all painted here. Each picture draws its
// random numbers from a seed of its own, so it comes out the same whatever
// else is drawn before it.
//
// Card pictures are drawn in the page's units (1/100 mm) at `dpi` dots per
// inch; `size` is the area the picture covers in the document, and the
// rectangles passed in are page areas the picture has to leave calm (a
// message, a photo frame), measured from the picture's own top left corner.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

namespace marigal::designs {

// "Clouds": the two sides of the sheet (`trim`: the card on it, to be cut
// out and folded), and the sky in the photo frame.
QImage CloudsOutside(QSize size, QRect trim, double dpi);
QImage CloudsInside(QSize size, QRect trim, QRect message, double dpi);
QImage CloudsFramePicture(QSize size, double dpi);

// "Hearts": the page, the cover picture in the photo frame, and a garland of
// hearts on a transparent ground.
QImage HeartsPage(QSize size, QRect frame, QRect message, double dpi);
QImage HeartsCover(QSize size, double dpi);
QImage HeartsGarland(QSize size, double dpi);

// "Meadow": sky, hills and a flowering meadow with a light panel for the
// message, clear sky for the title; and a close-up of wildflowers for the
// photo frame.
QImage MeadowPage(QSize size, QRect panel, QRect title, double dpi);
QImage MeadowFramePicture(QSize size, double dpi);

// "Flowers": bouquets in three corners of the page, clear of the words'
// places `calm`; three flower pictures for the photo frames (variant 0, 1, 2).
QImage FlowersPage(QSize size, const std::vector<QRect>& calm, double dpi);
QImage FlowersFramePicture(QSize size, int variant, double dpi);

// "Yellow Flower": the page's border of small flowers around `textArea`, and
// the big flower on a transparent ground.
QImage YellowPage(QSize size, QRect textArea, double dpi);
QImage YellowFlower(QSize size, double dpi);
// Where the strip of meadow at the foot of that border begins (1/100 mm from
// the page's top): the text, and a photo, end above it.
int YellowMeadowTop(QSize size, QRect textArea);

// The program's icon: a greeting card with a marigold, on transparency.
QImage AppIcon(int pixels);
// A 32 x 32 pointing hand, white with a black outline.
QImage HandPointer();
inline constexpr QPoint kHandHotSpot(9, 0);  // the tip of the index finger
// A sunny landscape to try the cards with.
QImage SamplePhoto();

}  // namespace marigal::designs
