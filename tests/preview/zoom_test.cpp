// Zoom and pan in twips: the quarter steps and their limits, the size limit,
// the bars' ranges and steps, dragging and the release's percentages.

#include "common/errors.h"
#include "common/steps.h"
#include "preview/zoom.h"
#include "tests/support/scripted_modal.h"

#include <gtest/gtest.h>

#include <vector>

using namespace marigal;
using marigal::test::ScriptedModal;

namespace {

struct Paint {
    int dstWidth, dstHeight, srcWidth, srcHeight;
    bool operator==(const Paint&) const = default;
};

class RecordingSurface : public ZoomSurface {
public:
    void PrepareImageBox() override {}
    void CopyPictureToHidden() override {}
    void ClearPicture() override { ++cleared; }
    void PaintFromHidden(int dw, int dh, int sw, int sh) override { paints.push_back({dw, dh, sw, sh}); }
    void SetDefaultPointer() override { ++defaultPointer; }

    int cleared = 0;
    int defaultPointer = 0;
    std::vector<Paint> paints;
};

// The preview's viewport: 9330 x 7425 outside a 30-twip border; the hidden
// copy's border is 30 twips too, so the base size is the picture less 62.
constexpr float kInnerW = 9270, kInnerH = 7365, kOuterW = 9330, kOuterH = 7425;

class ZoomTest : public ::testing::Test {
protected:
    ScriptedModal modal;
    RecordingSurface surface;
    ZoomPan zoom{modal, surface, ViewportTwips{kInnerW, kInnerH, kOuterW, kOuterH}, 30};

    // A picture handed over at its natural size, then the preparation.
    void prepare(float width, float height)
    {
        zoom.PictureAssigned(width, height);
        Steps s(modal, "Form2", "Form_Activate");
        zoom.Prepare(s);
    }
    // A picture whose base (and zoom 1.0) size is `w` x `h`.
    void prepareBase(int w, int h) { prepare(float(w + 62), float(h + 62)); }

    void drag(float dx, float dy)
    {
        zoom.picture1_MouseDown(500, 500);
        zoom.picture1_MouseMove(true, 500 + dx, 500 + dy);
    }
};

}  // namespace

TEST(ZoomRounding, NearestEvenAnd16Bit)
{
    EXPECT_EQ(NearestEven(12.5), 12);
    EXPECT_EQ(NearestEven(13.5), 14);
    EXPECT_EQ(NearestEven(-12.5), -12);
    EXPECT_EQ(NearestEven(12.51), 13);
    EXPECT_EQ(ToInt16(32767.4), 32767);
    EXPECT_EQ(ToInt16(-32768.5), -32768);  // ties to even stay inside
    EXPECT_THROW(ToInt16(32767.5), AppError);
    EXPECT_THROW(ToInt16(-32769), AppError);
    EXPECT_EQ(FloorToInt32(42097.5), 42097);
    EXPECT_EQ(FloorToInt32(-0.5), -1);
    EXPECT_THROW(FloorToInt32(3e9), AppError);
}

TEST_F(ZoomTest, PreparationTakesTheBaseSizeNearestEven)
{
    prepare(8012.5f, 6013.5f);  // 7950.5 and 5951.5 less border and strip
    EXPECT_EQ(zoom.mOrigWidth, 7950);
    EXPECT_EQ(zoom.mOrigHeight, 5952);
    EXPECT_FLOAT_EQ(zoom.mZoom, 1.0f);
    ASSERT_EQ(surface.paints.size(), 1u);
    EXPECT_EQ(surface.paints[0], (Paint{7950, 5952, 7950, 5952}));
    EXPECT_EQ(zoom.imageBox.width, 7950);
    EXPECT_EQ(surface.defaultPointer, 1);
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(ZoomTest, QuarterStepsFromAQuarterToFourRepaintFromTheCopy)
{
    prepareBase(2001, 1001);
    for (int i = 0; i < 5; ++i) zoom.ZoomStep(0);
    EXPECT_FLOAT_EQ(zoom.mZoom, 2.25f);
    EXPECT_EQ(surface.paints.back(), (Paint{4502, 2252, 2001, 1001}));  // floored, from the base size
    for (int i = 0; i < 5; ++i) zoom.ZoomStep(1);
    EXPECT_FLOAT_EQ(zoom.mZoom, 1.0f);
    EXPECT_EQ(surface.paints.back(), surface.paints.front());

    for (int i = 0; i < 14; ++i) zoom.ZoomStep(0);  // the last two refused
    EXPECT_FLOAT_EQ(zoom.mZoom, 4.0f);
    EXPECT_EQ(surface.paints.size(), 11u + 12u);
    for (int i = 0; i < 17; ++i) zoom.ZoomStep(7);  // any non-zero direction zooms out
    EXPECT_FLOAT_EQ(zoom.mZoom, 0.25f);
    EXPECT_EQ(surface.paints.size(), 11u + 12u + 15u);
    EXPECT_EQ(surface.paints.back(), (Paint{500, 250, 2001, 1001}));
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(ZoomTest, SizeLimitIsTheLargestOverhangTheBarsCover)
{
    // 33676 x 1.25 = 42095: an overhang of 32765, the largest at which every
    // bar position still moves the image.
    prepareBase(33676, 2000);
    zoom.ZoomStep(0);
    EXPECT_FLOAT_EQ(zoom.mZoom, 1.25f);
    EXPECT_EQ(surface.paints.back(), (Paint{42095, 2500, 33676, 2000}));
    EXPECT_EQ(zoom.mHStep, 10);
    ASSERT_EQ(zoom.HScroll1.Max(), 3276);
    for (int value : {3276, 3275, 1000}) {
        zoom.ScrollHTo(value);
        EXPECT_EQ(zoom.imageBox.left, -10.0f * value) << value;
    }

    // 1.5 would overhang 41184: back to 1.0, nothing drawn, nothing moved.
    const size_t painted = surface.paints.size();
    zoom.ZoomStep(0);
    EXPECT_FLOAT_EQ(zoom.mZoom, 1.0f);
    EXPECT_EQ(surface.paints.size(), painted);
    EXPECT_EQ(zoom.mOrigWidth, 33676);
    EXPECT_EQ(zoom.mZoomWidth, 33676);
    EXPECT_EQ(zoom.imageBox.width, 42095);
    EXPECT_EQ(zoom.imageBox.left, -10000);
    EXPECT_EQ(zoom.HScroll1.Value(), 1000);
    EXPECT_TRUE(modal.messages.empty());

    // From 1.0 again: in tries 1.25, out tries 0.75.
    zoom.ZoomStep(0);
    EXPECT_FLOAT_EQ(zoom.mZoom, 1.25f);
    zoom.ZoomStep(0);
    zoom.ZoomStep(1);
    EXPECT_FLOAT_EQ(zoom.mZoom, 0.75f);
    EXPECT_EQ(surface.paints.back().dstWidth, 25257);
}

TEST_F(ZoomTest, SizeLimitLeavesNoBarStepThatCannotMove)
{
    // One twip more overhang (32766) would give a last bar step of 32770
    // twips, beyond 16 bits: refused, as every larger overhang.
    for (int base : {33677, 33678}) {
        SCOPED_TRACE(base);
        surface.paints.clear();
        prepareBase(base, 2000);
        zoom.ZoomStep(0);
        EXPECT_FLOAT_EQ(zoom.mZoom, 1.0f);
        EXPECT_EQ(surface.paints.size(), 1u);  // the preparation's only
    }
}

TEST_F(ZoomTest, SizeLimitAtPreparationKeepsTheNaturalSize)
{
    prepareBase(1000, 7425 + 32766);  // one twip too high at 1.0
    EXPECT_TRUE(surface.paints.empty());
    EXPECT_EQ(zoom.imageBox.height, 7425 + 32766 + 62);
    EXPECT_EQ(zoom.VScroll1.Max(), 3283);  // the bars still follow that size
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(ZoomTest, OverhangGivesStepAndMaximum)
{
    struct Case { int overhang, step, max; };
    for (const Case c : {Case{100, 1, 100}, Case{101, 10, 10}, Case{125, 10, 12}, Case{135, 10, 14},
                         Case{1, 1, 1}}) {
        SCOPED_TRACE(c.overhang);
        ZoomPan z(modal, surface, ViewportTwips{kInnerW, kInnerH, kOuterW, kOuterH}, 30);
        z.PictureAssigned(kOuterW + c.overhang + 62, kOuterH + c.overhang + 62);
        Steps s(modal, "Form2", "Form_Activate");
        z.Prepare(s);
        EXPECT_EQ(z.mHStep, c.step);
        EXPECT_EQ(z.HScroll1.Max(), c.max);
        EXPECT_TRUE(z.HScroll1.Enabled());
        EXPECT_EQ(z.mVStep, c.step);
        EXPECT_EQ(z.VScroll1.Max(), c.max);
        // The bars move the image by step x value.
        z.ScrollHTo(c.max);
        z.ScrollVTo(1);
        EXPECT_EQ(z.imageBox.left, -c.step * c.max);
        EXPECT_EQ(z.imageBox.top, -c.step);
    }
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(ZoomTest, RangesFollowTheZoomedSize)
{
    prepareBase(8000, 8000);  // fits across at 1.0, overhangs 575 down
    EXPECT_FALSE(zoom.HScroll1.Enabled());
    EXPECT_EQ(zoom.mHStep, 0);
    EXPECT_EQ(zoom.VScroll1.Max(), 58);
    zoom.ScrollVTo(30);
    zoom.ZoomStep(0);  // 10000 x 10000
    EXPECT_TRUE(zoom.HScroll1.Enabled());
    EXPECT_EQ(zoom.mHStep, 10);
    EXPECT_EQ(zoom.HScroll1.Max(), 67);  // 670 / 10
    EXPECT_EQ(zoom.VScroll1.Max(), 258);  // 2575 / 10 = 257.5
    EXPECT_EQ(zoom.VScroll1.Value(), 0);
    EXPECT_EQ(zoom.imageBox.top, 0);
    zoom.ZoomStep(1);
    zoom.ZoomStep(1);  // 6000 x 6000: fits both ways
    EXPECT_FALSE(zoom.HScroll1.Enabled());
    EXPECT_FALSE(zoom.VScroll1.Enabled());
}

TEST_F(ZoomTest, DragFollowsTheMouseAndReleaseSettlesOnAUnit)
{
    prepareBase(11330, 9425);  // overhangs 2000 both ways: step 10, maximum 200
    drag(-1004, -300);
    EXPECT_EQ(zoom.imageBox.left, -1004);
    EXPECT_EQ(zoom.imageBox.top, -300);
    zoom.Picture1_MouseUp();
    EXPECT_EQ(zoom.HScroll1.Value(), 100);  // 50.2 % -> 50 %
    EXPECT_EQ(zoom.imageBox.left, -1000);
    EXPECT_EQ(zoom.VScroll1.Value(), 30);
    zoom.picture1_MouseMove(false, 0, 0);  // no button: the mouse only passes
    EXPECT_EQ(zoom.imageBox.left, -1000);

    // Fully right and down: flush with the inner edges, which lie 60 twips
    // past the outer overhang, so the release's 103 % leaves the bars alone.
    drag(-99999, -99999);
    EXPECT_EQ(zoom.imageBox.left, kInnerW - 11330);
    EXPECT_EQ(zoom.imageBox.top, kInnerH - 9425);
    zoom.Picture1_MouseUp();
    EXPECT_EQ(zoom.HScroll1.Value(), 100);
    EXPECT_EQ(zoom.VScroll1.Value(), 30);

    drag(99999, 99999);  // never past the left or top edge
    EXPECT_EQ(zoom.imageBox.left, 0);
    EXPECT_EQ(zoom.imageBox.top, 0);
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(ZoomTest, PictureNoWiderThanTheViewport)
{
    prepareBase(5000, 9425);  // narrower, and taller
    EXPECT_FALSE(zoom.HScroll1.Enabled());
    EXPECT_EQ(zoom.mHStep, 0);
    for (float dx : {-700.f, 700.f, 0.f}) {
        drag(dx, -100);
        zoom.Picture1_MouseUp();
        EXPECT_EQ(zoom.imageBox.left, 0) << dx;  // stays at the left edge
    }
    EXPECT_EQ(zoom.imageBox.top, -300);  // the other axis moves as usual
    EXPECT_EQ(zoom.VScroll1.Value(), 30);

    // Exactly the outer size: no overhang to measure a release against.
    prepareBase(int(kOuterW), int(kOuterH));
    drag(-30, -30);
    EXPECT_EQ(zoom.imageBox.left, -30);  // the inner area is 60 twips smaller
    zoom.Picture1_MouseUp();
    EXPECT_TRUE(modal.messages.empty());
}
