#pragma once
// Zoom and pan of the preview: the picture is zoomed in quarters from 0.25 to
// 4.0, always repainted from the unscaled hidden copy, and moved inside the
// viewport by two scroll bars and by dragging. Everything is measured in
// twips. This class keeps the state and the arithmetic; the window lends it
// the painting and the pointer (ZoomSurface) and mirrors its geometry and
// bars onto the real controls.

#include "common/modal.h"
#include "common/steps.h"

#include <QtGlobal>

#include <functional>

namespace marigal {

// The three roundings of the zoom arithmetic.
double NearestEven(double value);        // ties to the even neighbour: 12.5 -> 12, 13.5 -> 14
qint16 ToInt16(double value);            // nearest-even; raises "Overflow" beyond 16 bits
qint32 ToInt32(double value);            // nearest-even; raises "Overflow" beyond 32 bits
qint32 FloorToInt32(double value);       // raises "Overflow" beyond 32 bits

// A scroll bar: minimum 0, maximum 32767 until it is set up. Assigning a value
// that differs from the current one runs the bar's change handler at once.
class ScrollBarModel {
public:
    explicit ScrollBarModel(std::function<void()> change) : change_(std::move(change)) {}

    int Min() const { return 0; }
    int Max() const { return max_; }
    int Value() const { return value_; }
    bool Enabled() const { return enabled_; }

    // Raises "Invalid property value" for a value outside Min()..Max().
    void SetValue(int value);
    // A value above the new maximum is pulled down to it (and the change runs).
    void SetMax(int max);
    void SetEnabled(bool enabled) { enabled_ = enabled; }

private:
    std::function<void()> change_;
    int max_ = 32767;
    int value_ = 0;
    bool enabled_ = true;
};

// What the zoom needs from the window.
class ZoomSurface {
public:
    virtual ~ZoomSurface() = default;
    // The image box keeps what is painted on it, sizes itself to a picture
    // assigned to it and has a white background.
    virtual void PrepareImageBox() = 0;
    // The hidden copy takes the image box's picture.
    virtual void CopyPictureToHidden() = 0;
    // The image box drops its picture; its surface shows white.
    virtual void ClearPicture() = 0;
    // Paints the hidden copy's picture, source part (0, 0, srcWidth,
    // srcHeight) stretched to (0, 0, dstWidth, dstHeight) of the image box.
    virtual void PaintFromHidden(int dstWidth, int dstHeight, int srcWidth, int srcHeight) = 0;
    // The window's pointer to the default arrow, hourglass or not.
    virtual void SetDefaultPointer() = 0;
};

// Position and size of a box inside its container, in twips.
struct TwipBox {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

// The viewport's visible area (inner) and its size with the border (outer).
struct ViewportTwips {
    float innerWidth = 0;
    float innerHeight = 0;
    float outerWidth = 0;
    float outerHeight = 0;
};

class ZoomPan {
public:
    // The largest overhang over the viewport's outer size that the bars'
    // 16-bit arithmetic (step x value) covers at every bar position: 32765
    // gives a maximum of 3276 units of 10 twips (32760); one twip more rounds
    // the maximum to 3277, whose 32770 twips the arithmetic cannot hold, and
    // the bar's last step would leave the image where it was. A zoom that
    // would overhang more is refused by the size limit.
    static constexpr int kMaxOverhang = 32765;

    // `hiddenBorder`: the hidden copy's border, on each side, in twips.
    ZoomPan(Modal& modal, ZoomSurface& surface, ViewportTwips viewport, float hiddenBorder);
    ZoomPan(const ZoomPan&) = delete;
    ZoomPan& operator=(const ZoomPan&) = delete;

    // A picture was assigned to the image box: the box takes its natural size.
    void PictureAssigned(float naturalWidth, float naturalHeight);

    // The image preparation, steps 102 to 136, reported through the
    // activation handler's steps.
    void Prepare(Steps& s);

    void RedrawImage();
    // 0 zooms in, any other value zooms out.
    void ZoomStep(int direction);
    void SetZoom(float candidate);
    void SetupScrollbars();

    // A bar's value as the user sets it (arrow, track, or the thumb let go).
    void ScrollHTo(int value) { HScroll1.SetValue(value); }
    void ScrollVTo(int value) { VScroll1.SetValue(value); }

    // Mouse on the image box, coordinates in the box's own twips.
    void picture1_MouseDown(float x, float y);
    void picture1_MouseMove(bool buttonDown, float x, float y);
    void Picture1_MouseUp();

    void SetHScrollbarByPercent(ScrollBarModel& bar, qint16 percent);
    void SetVScrollbarByPercent(ScrollBarModel& bar, qint16 percent);

    const ViewportTwips& viewport() const { return viewport_; }
    // The window was resized and the viewport with it: the bars measure the
    // new overhang, and the image goes back to the top left, as after a zoom.
    void ResizeViewport(const ViewportTwips& viewport);

    float mZoom = 1.0f;
    qint32 mOrigWidth = 0;
    qint32 mOrigHeight = 0;
    qint32 mZoomWidth = 0;
    qint32 mZoomHeight = 0;
    qint16 mHStep = 0;
    qint16 mVStep = 0;
    float mDragX = 0;
    float mDragY = 0;

    TwipBox imageBox;    // Picture1 inside the viewport
    TwipBox hiddenCopy;  // Zoom_Ori's outer size
    ScrollBarModel HScroll1;
    ScrollBarModel VScroll1;

private:
    void HScroll1_Change();
    void VScroll1_Change();
    void ReadBaseSize();
    bool PastSizeLimit() const;
    void SetupBar(ScrollBarModel& bar, qint16& step, float imageSize, float outerSize);

    Modal& modal_;
    ZoomSurface& surface_;
    ViewportTwips viewport_;
    float hiddenBorder_;
};

}  // namespace marigal
