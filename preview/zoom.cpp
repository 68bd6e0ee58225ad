#include "preview/zoom.h"

#include "common/errors.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace marigal {

namespace {
const QString kForm = QStringLiteral("Form2");

// A product of step and value, as the 16-bit arithmetic of the bars forms it.
qint16 Product16(int step, int value)
{
    const int p = step * value;
    if (p < std::numeric_limits<qint16>::min() || p > std::numeric_limits<qint16>::max())
        throw AppError(apperr::kOverflow);
    return qint16(p);
}

// How far the image has travelled of its overhang, in percent. An image
// exactly as large as the viewport's outer size has no overhang to measure
// against: it counts as not moved.
double Percent(float offset, float overhang)
{
    if (overhang == 0) return 0;
    return std::fabs(double(offset)) / double(overhang) * 100.0;
}
}  // namespace

double NearestEven(double value)
{
    // The default rounding mode of the floating-point environment is
    // to-nearest with ties to even.
    return std::nearbyint(value);
}

qint16 ToInt16(double value)
{
    const double r = NearestEven(value);
    if (!(r >= std::numeric_limits<qint16>::min() && r <= std::numeric_limits<qint16>::max()))
        throw AppError(apperr::kOverflow);
    return qint16(r);
}

qint32 ToInt32(double value)
{
    const double r = NearestEven(value);
    if (!(r >= std::numeric_limits<qint32>::min() && r <= std::numeric_limits<qint32>::max()))
        throw AppError(apperr::kOverflow);
    return qint32(r);
}

qint32 FloorToInt32(double value)
{
    const double r = std::floor(value);
    if (!(r >= std::numeric_limits<qint32>::min() && r <= std::numeric_limits<qint32>::max()))
        throw AppError(apperr::kOverflow);
    return qint32(r);
}

void ScrollBarModel::SetValue(int value)
{
    if (value < Min() || value > max_) throw AppError(apperr::kInvalidPropertyValue);
    if (value == value_) return;
    value_ = value;
    if (change_) change_();
}

void ScrollBarModel::SetMax(int max)
{
    if (max < Min()) throw AppError(apperr::kInvalidPropertyValue);
    max_ = max;
    if (value_ > max_) {
        value_ = max_;
        if (change_) change_();
    }
}

ZoomPan::ZoomPan(Modal& modal, ZoomSurface& surface, ViewportTwips viewport, float hiddenBorder)
    : HScroll1([this] { HScroll1_Change(); }),
      VScroll1([this] { VScroll1_Change(); }),
      modal_(modal),
      surface_(surface),
      viewport_(viewport),
      hiddenBorder_(hiddenBorder)
{
}

void ZoomPan::PictureAssigned(float naturalWidth, float naturalHeight)
{
    imageBox.width = naturalWidth;
    imageBox.height = naturalHeight;
}

void ZoomPan::Prepare(Steps& s)
{
    s(102, [&] { surface_.PrepareImageBox(); });
    s(112, [&] {
        hiddenCopy.width = imageBox.width;
        hiddenCopy.height = imageBox.height;
    });
    s(120, [&] { surface_.CopyPictureToHidden(); });
    s(124, [&] { mZoom = 1.0f; });
    s(126, [&] { mOrigWidth = ToInt32(double(hiddenCopy.width - 2 * hiddenBorder_) - 2); });
    s(128, [&] { mOrigHeight = ToInt32(double(hiddenCopy.height - 2 * hiddenBorder_) - 2); });
    s(130, [&] { mZoomWidth = FloorToInt32(double(mOrigWidth) * 1.0); });
    s(132, [&] { mZoomHeight = FloorToInt32(double(mOrigHeight) * 1.0); });
    s(134, [&] { RedrawImage(); });
    s(136, [&] { SetupScrollbars(); });
}

bool ZoomPan::PastSizeLimit() const
{
    return double(mZoomWidth) - viewport_.outerWidth > kMaxOverhang ||
           double(mZoomHeight) - viewport_.outerHeight > kMaxOverhang;
}

void ZoomPan::RedrawImage()
{
    Steps s(modal_, kForm, QStringLiteral("RedrawImage"));
    s(100, [&] { mZoomWidth = FloorToInt32(double(mOrigWidth) * double(mZoom)); });
    s(102, [&] { mZoomHeight = FloorToInt32(double(mOrigHeight) * double(mZoom)); });
    bool limit = false;
    s(104, [&] { limit = PastSizeLimit(); });
    if (limit) {
        // Too large for the bars to cover: back to the base size, and the
        // image keeps what it last showed.
        s(124, [&] { mZoom = 1.0f; });
        s(126, [&] { mOrigWidth = ToInt32(double(hiddenCopy.width - 2 * hiddenBorder_) - 2); });
        s(128, [&] { mOrigHeight = ToInt32(double(hiddenCopy.height - 2 * hiddenBorder_) - 2); });
        s(130, [&] { mZoomWidth = FloorToInt32(double(mOrigWidth) * 1.0); });
        s(132, [&] { mZoomHeight = FloorToInt32(double(mOrigHeight) * 1.0); });
        return;
    }
    s(106, [&] { surface_.ClearPicture(); });
    s(108, [&] { imageBox.width = float(mZoomWidth); });
    s(110, [&] { imageBox.height = float(mZoomHeight); });
    s(112, [&] { surface_.PaintFromHidden(mZoomWidth, mZoomHeight, mOrigWidth, mOrigHeight); });
    s(114, [&] { surface_.SetDefaultPointer(); });
    s(116, [&] { HScroll1.SetValue(0); });
    s(118, [&] { VScroll1.SetValue(0); });
    s(120, [&] { HScroll1.SetEnabled(viewport_.innerWidth < mZoomWidth); });
    s(122, [&] { VScroll1.SetEnabled(viewport_.innerHeight < mZoomHeight); });
    // Ranges and steps follow the size just drawn, so that a bar's full
    // travel and a drag's release always measure the current overhang.
    s(134, [&] { SetupScrollbars(); });
}

void ZoomPan::ZoomStep(int direction)
{
    const float candidate = direction == 0 ? mZoom + 0.25f : mZoom - 0.25f;
    SetZoom(candidate);
}

void ZoomPan::SetZoom(float candidate)
{
    if (candidate >= 0.25f && candidate <= 4.0f) {
        mZoom = candidate;
        RedrawImage();
    }
}

void ZoomPan::SetupBar(ScrollBarModel& bar, qint16& step, float imageSize, float outerSize)
{
    if (imageSize <= outerSize) {
        bar.SetEnabled(false);
        step = 0;
        return;
    }
    const float d = imageSize - outerSize;
    bar.SetEnabled(true);
    if (d <= 100) {
        bar.SetMax(ToInt16(d));
        step = 1;
    } else {
        bar.SetMax(ToInt16(d / 10.0f));
        step = 10;
    }
    bar.SetValue(0);
}

void ZoomPan::SetupScrollbars()
{
    imageBox.top = 0;
    imageBox.left = 0;
    SetupBar(HScroll1, mHStep, imageBox.width, viewport_.outerWidth);
    SetupBar(VScroll1, mVStep, imageBox.height, viewport_.outerHeight);
}

void ZoomPan::ResizeViewport(const ViewportTwips& viewport)
{
    viewport_ = viewport;
    SetupScrollbars();
}

void ZoomPan::HScroll1_Change()
{
    // The bars report nothing: a product beyond 16 bits leaves the image.
    try {
        imageBox.left = -float(Product16(mHStep, HScroll1.Value()));
    } catch (const AppError&) {
    }
}

void ZoomPan::VScroll1_Change()
{
    try {
        imageBox.top = -float(Product16(mVStep, VScroll1.Value()));
    } catch (const AppError&) {
    }
}

void ZoomPan::picture1_MouseDown(float x, float y)
{
    Steps s(modal_, kForm, QStringLiteral("picture1_MouseDown"));
    s(100, [&] { mDragX = x; });
    s(102, [&] { mDragY = y; });
}

void ZoomPan::picture1_MouseMove(bool buttonDown, float x, float y)
{
    Steps s(modal_, kForm, QStringLiteral("picture1_MouseMove"));
    bool dragging = false;
    s(100, [&] { dragging = buttonDown; });
    if (!dragging) return;
    // The image never leaves a gap at the viewport's left or top edge, and
    // one smaller than the viewport stays at that edge.
    float newLeft = imageBox.left;
    s(104, [&] { newLeft = imageBox.left - mDragX + x; });
    s(106, [&] {
        if (newLeft > 0) newLeft = 0;
        else if (viewport_.innerWidth - imageBox.width > newLeft)
            newLeft = std::min(0.0f, viewport_.innerWidth - imageBox.width);
    });
    float newTop = imageBox.top;
    s(114, [&] { newTop = imageBox.top - mDragY + y; });
    s(116, [&] {
        if (newTop > 0) newTop = 0;
        else if (viewport_.innerHeight - imageBox.height > newTop)
            newTop = std::min(0.0f, viewport_.innerHeight - imageBox.height);
    });
    s(124, [&] {
        imageBox.left = newLeft;
        imageBox.top = newTop;
    });
}

void ZoomPan::Picture1_MouseUp()
{
    Steps s(modal_, kForm, QStringLiteral("Picture1_MouseUp"));
    qint32 px = 0;
    qint32 py = 0;
    s(100, [&] { px = ToInt32(Percent(imageBox.left, imageBox.width - viewport_.outerWidth)); });
    s(102, [&] { py = ToInt32(Percent(imageBox.top, imageBox.height - viewport_.outerHeight)); });
    s(104, [&] { SetHScrollbarByPercent(HScroll1, ToInt16(px)); });
    s(106, [&] { SetVScrollbarByPercent(VScroll1, ToInt16(py)); });
}

void ZoomPan::SetHScrollbarByPercent(ScrollBarModel& bar, qint16 percent)
{
    if (percent < 0 || percent > 100) return;
    const double t = double(percent) / 100.0 * double(bar.Max());
    if (t <= bar.Max()) bar.SetValue(ToInt16(t));
}

void ZoomPan::SetVScrollbarByPercent(ScrollBarModel& bar, qint16 percent)
{
    if (percent < 0 || percent > 100) return;
    bar.SetValue(ToInt16(double(percent) / 100.0 * double(bar.Max())));
}

}  // namespace marigal
