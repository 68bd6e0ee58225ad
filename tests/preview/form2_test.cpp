// The preview window: its layout, its load, the preparation at activation,
// "< Back", closing, the pointer, and the controls following zoom and drag.

#include "common/steps.h"
#include "common/widgets/look.h"
#include "common/widgets/pointer.h"
#include "preview/form2.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"
#include "tests/support/window_fixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>

using namespace marigal;
using marigal::test::ScriptedModal;

namespace {

// A modal interface whose boxes, like real ones, let the window be
// activated again while they are up.
class ReactivatingModal : public ScriptedModal {
public:
    QWidget* window = nullptr;
    MsgResult message(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) override
    {
        if (window) {
            QEvent activate(QEvent::WindowActivate);
            QCoreApplication::sendEvent(window, &activate);
        }
        return ScriptedModal::message(text, caption, buttons, icon);
    }
};

// `dpi` dots per inch, recorded the way a bitmap file records it.
QImage Picture(int width, int height, double dpi)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::gray);
    image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    return image;
}

void MoveOver(QWidget* w)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
}

void Mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, at, w->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

QRect PxRect(int l, int t, int w, int h)
{
    return QRect(Px(l), Px(t), Px(w), Px(h));
}

class Form2Test : public test::WindowTest<Form2, ReactivatingModal> {
protected:
    int mainShown = 0;

    Form2& make() override
    {
        Form2Services svc;
        svc.modal = &modal;
        svc.appFolder = appFolder;
        svc.showMainWindow = [this] { ++mainShown; };
        svc.endApplication = [this] { ++ended; };
        form = std::make_unique<Form2>(svc);
        return *form;
    }

    // The generation run's hand-over.
    Form2& handOver(const QImage& picture, QString wordFile = QString())
    {
        if (wordFile.isEmpty()) wordFile = dir.filePath("tamlor11111111.doc");
        if (!form) load();
        form->SetPicture(picture);
        form->mWordFile = wordFile;
        form->show();
        return *form;
    }

    QString cardDocument() { return test::WriteFile(dir.filePath("tamlor12345678.doc"), "doc"); }
};

}  // namespace

TEST_F(Form2Test, LayoutFollowsTheTwipTable)
{
    Form2& f = make();
    EXPECT_EQ(f.size(), QSize(Px(9840), Px(9390)));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);

    EXPECT_EQ(f.Picture2->geometry(), PxRect(120, 120, 9330, 7425));
    EXPECT_EQ(f.Picture1->parentWidget(), f.ViewportArea());
    EXPECT_EQ(f.ViewportArea()->parentWidget(), f.Picture2);
    EXPECT_EQ(f.VScroll1->geometry(), PxRect(9450, 120, 255, 7425));
    EXPECT_EQ(f.HScroll1->geometry(), PxRect(120, 7545, 9330, 255));
    EXPECT_EQ(f.Frame1->geometry(), PxRect(120, 7860, 9600, 855));
    EXPECT_EQ(f.PushButton1->parentWidget(), f.Frame1);
    EXPECT_EQ(f.PushButton1->geometry(), PxRect(240, 300, 4440, 405));
    EXPECT_EQ(f.PushButton8->geometry(), PxRect(120, 8850, 4680, 405));
    EXPECT_EQ(f.PushButton6->geometry(), PxRect(4920, 8850, 4800, 405));
    EXPECT_GE(f.Zoom_Ori->x(), f.width());
    EXPECT_TRUE(f.Zoom_Ori->isHidden());

    EXPECT_EQ(f.Frame1->title(), "Zoom:");
    EXPECT_EQ(f.PushButton1->text(), "Zoom In");
    EXPECT_EQ(f.PushButton2->text(), "Zoom Out");
    EXPECT_EQ(f.PushButton8->text(), "< Back");
    EXPECT_EQ(f.PushButton6->text(), "Save Results To Word File");
    for (QWidget* box : std::initializer_list<QWidget*>{f.Picture1, f.Picture2, f.Zoom_Ori})
        EXPECT_EQ(box->property(kControlKind).toString(), kPictureBox) << box->objectName().toStdString();

    EXPECT_EQ(f.font().family(), "Arial");
    EXPECT_DOUBLE_EQ(f.font().pointSizeF(), 9);
    EXPECT_DOUBLE_EQ(f.PushButton8->font().pointSizeF(), 11.25);

    // Until the preparation sizes them: 0..32767, one unit per click, and
    // the image follows the thumb only when it is let go.
    for (QScrollBar* bar : {f.HScroll1, f.VScroll1}) {
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 32767);
        EXPECT_EQ(bar->singleStep(), 1);
        EXPECT_EQ(bar->pageStep(), 1);
        EXPECT_FALSE(bar->hasTracking());
    }
    EXPECT_FALSE(f.mPendingSetup);
}

TEST_F(Form2Test, LoadWithoutCursorFile)
{
    Form2& f = load();
    EXPECT_TRUE(f.mPendingSetup);
    EXPECT_EQ(f.windowTitle(), "Marigal");
    EXPECT_EQ(BackColor(f), ButtonFaceColor());
    EXPECT_EQ(BackColor(*f.Frame1), ButtonFaceColor());
    EXPECT_EQ(BackColor(*f.Picture1), QColor(Qt::white));
    EXPECT_FALSE(f.handCursor().has_value());
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_FALSE(f.isVisible());
}

TEST_F(Form2Test, LoadWithCursorFile)
{
    const QString file = QDir(appFolder).filePath("HAND-M.CUR");
    test::WriteFile(file, "not a cursor");
    load();
    ASSERT_EQ(modal.errorBoxes().size(), 1u);
    EXPECT_EQ(modal.errorBoxes()[0], ErrorBoxText("Invalid picture", "Form2", "Form_Load", 110));
    EXPECT_FALSE(form->handCursor().has_value());

    QImage hand(32, 32, QImage::Format_ARGB32);
    hand.fill(Qt::red);
    test::WriteFile(file, EncodeCursorFile(hand, QPoint(5, 1)));
    Form2& f = load();
    ASSERT_TRUE(f.handCursor().has_value());
    EXPECT_EQ(f.handCursor()->hotSpot(), QPoint(5, 1));
    handOver(Picture(100, 100, 96));
    MoveOver(f.PushButton6);
    EXPECT_EQ(f.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(modal.messages.size(), 1u);
}

TEST_F(Form2Test, CardThatFitsIsShownWholeAtZoomOne)
{
    // 1200 x 900 pixels at 192 dpi: 9000 x 6750 twips, inside the viewport.
    QImage card = Picture(1200, 900, 192);
    {
        QPainter p(&card);
        p.fillRect(0, 0, 600, 450, Qt::red);
        p.fillRect(600, 0, 600, 450, Qt::blue);
        p.fillRect(0, 450, 600, 450, Qt::green);
        p.fillRect(600, 450, 600, 450, Qt::yellow);
    }
    const QSizeF natural = Form2::NaturalTwips(card);
    EXPECT_NEAR(natural.width(), 9000, 0.5);
    EXPECT_NEAR(natural.height(), 6750, 0.5);

    Form2& f = handOver(card);
    ZoomPan& z = f.zoom();
    EXPECT_FLOAT_EQ(z.mZoom, 1.0f);
    EXPECT_EQ(z.mOrigWidth, 8938);
    EXPECT_EQ(z.mOrigHeight, 6688);
    EXPECT_EQ(f.Picture1->geometry(), QRect(0, 0, Px(8938), Px(6688)));
    const QImage shown = f.Picture1->pixmap().toImage();
    ASSERT_EQ(shown.size(), f.Picture1->size());
    const int r = shown.width() - 3, b = shown.height() - 3;
    EXPECT_EQ(shown.pixelColor(2, 2), QColor(Qt::red));
    EXPECT_EQ(shown.pixelColor(r, 2), QColor(Qt::blue));
    EXPECT_EQ(shown.pixelColor(2, b), QColor(Qt::green));
    EXPECT_EQ(shown.pixelColor(r, b), QColor(Qt::yellow));
    EXPECT_FALSE(f.HScroll1->isEnabled());
    EXPECT_FALSE(f.VScroll1->isEnabled());
    EXPECT_FALSE(f.mPendingSetup);
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(Form2Test, PreparationRunsOncePerHandOver)
{
    Form2& f = handOver(Picture(1500, 1500, 96));  // about 22500 twips square
    EXPECT_EQ(f.zoom().mOrigWidth, 22435);
    f.PushButton1_Click();
    ASSERT_FLOAT_EQ(f.zoom().mZoom, 1.25f);
    // Showing or activating it again prepares nothing.
    f.hide();
    f.show();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&f, &activate);
    QCoreApplication::processEvents();
    EXPECT_FLOAT_EQ(f.zoom().mZoom, 1.25f);
    EXPECT_FALSE(f.mPendingSetup);

    // After "< Back" the next card gets its own.
    f.PushButton8_Click();
    handOver(Picture(700, 600, 96));
    EXPECT_FLOAT_EQ(f.zoom().mZoom, 1.0f);
    EXPECT_EQ(f.zoom().mOrigWidth, 10437);
    EXPECT_EQ(f.Picture1->pos(), QPoint(0, 0));
    EXPECT_EQ(f.HScroll1->maximum(), 111);  // 1107 twips over
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(Form2Test, ErrorBoxDuringPreparationDoesNotRunItAgain)
{
    load();
    modal.window = form.get();
    // Six pixels at one dot per metre: 340157 twips wide, past what the
    // 16-bit scroll range can measure.
    QImage wide = Picture(6, 1, 96);
    wide.setDotsPerMeterX(1);
    Form2& f = handOver(wide);
    ASSERT_EQ(modal.errorBoxes().size(), 1u);
    EXPECT_EQ(modal.errorBoxes()[0], ErrorBoxText("Overflow", "Form2", "Form_Activate", 136));
    EXPECT_FALSE(f.mPendingSetup);
    EXPECT_FLOAT_EQ(f.zoom().mZoom, 1.0f);
}

TEST_F(Form2Test, BackDeletesTheCardAndShowsTheMainWindow)
{
    const QString doc = cardDocument();
    Form2& f = handOver(Picture(100, 100, 96), doc);
    ASSERT_TRUE(f.isVisible());
    f.PushButton8->click();
    EXPECT_FALSE(QFile::exists(doc));
    EXPECT_EQ(mainShown, 1);
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(f.mPendingSetup);
    // Without a window manager X hands the focus back to the window it had
    // just after it is hidden: that is no activation of a shown window, and
    // the picture already let go is not prepared again.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&f, &activate);
    EXPECT_TRUE(f.mPendingSetup);
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(Form2Test, ClosingDeletesTheCardAndEndsTheApplication)
{
    const QString doc = cardDocument();
    Form2& f = handOver(Picture(100, 100, 96), doc);
    EXPECT_TRUE(f.close());  // never cancelled
    EXPECT_FALSE(QFile::exists(doc));
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(mainShown, 0);
    handOver(Picture(100, 100, 96), doc);  // a card document already gone is no error
    f.close();
    EXPECT_EQ(ended, 2);
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(Form2Test, HandOverButtonsDefaultElsewhereHourglassUntilARedraw)
{
    Form2& f = handOver(Picture(100, 100, 96));
    for (QWidget* button : {f.PushButton1, f.PushButton2, f.PushButton8, f.PushButton6}) {
        MoveOver(button);
        EXPECT_EQ(f.mousePointer(), MousePointer::Custom) << button->objectName().toStdString();
        EXPECT_EQ(f.cursor().shape(), Qt::PointingHandCursor);  // no hand file: the platform's hand
        MoveOver(button == f.PushButton6 ? static_cast<QWidget*>(&f) : f.Frame1);
        EXPECT_EQ(f.mousePointer(), MousePointer::Default);
        EXPECT_EQ(f.cursor().shape(), Qt::ArrowCursor);
    }
    f.setMousePointer(MousePointer::Hourglass);
    for (QWidget* w : std::initializer_list<QWidget*>{f.PushButton6, f.PushButton1, f.Frame1, &f}) MoveOver(w);
    EXPECT_EQ(f.cursor().shape(), Qt::WaitCursor);
    f.PushButton1->click();  // the redraw puts the arrow back
    EXPECT_EQ(f.mousePointer(), MousePointer::Default);
}

TEST_F(Form2Test, ControlsFollowZoomBarsAndDrag)
{
    Form2& f = handOver(Picture(800, 700, 96));  // about 11998 x 10498 twips
    ZoomPan& z = f.zoom();
    ASSERT_EQ(z.mHStep, 10);
    EXPECT_EQ(f.HScroll1->maximum(), z.HScroll1.Max());
    EXPECT_TRUE(f.HScroll1->isEnabled());

    f.HScroll1->setValue(20);  // as an arrow click would
    EXPECT_EQ(z.imageBox.left, -200);
    EXPECT_EQ(f.Picture1->x(), Px(-200));

    // Drag by 10 pixels up and left, through the image box's own events.
    const QPointF at(30, 30);
    Mouse(f.Picture1, QEvent::MouseButtonPress, at, Qt::LeftButton);
    Mouse(f.Picture1, QEvent::MouseMove, at - QPointF(10, 10), Qt::LeftButton);
    EXPECT_EQ(f.Picture1->pos(), QPoint(Px(-200) - 10, -10));
    Mouse(f.Picture1, QEvent::MouseButtonRelease, at, Qt::NoButton);
    EXPECT_EQ(f.HScroll1->value(), z.HScroll1.Value());
    EXPECT_EQ(f.VScroll1->value(), z.VScroll1.Value());
    EXPECT_GT(f.VScroll1->value(), 0);
    EXPECT_EQ(f.Picture1->y(), Px(int(z.imageBox.top)));

    f.PushButton1->click();
    EXPECT_FLOAT_EQ(z.mZoom, 1.25f);
    EXPECT_EQ(f.Picture1->geometry(), QRect(0, 0, Px(z.mZoomWidth), Px(z.mZoomHeight)));
    EXPECT_EQ(f.Picture1->pixmap().size(), f.Picture1->size());
    EXPECT_EQ(f.HScroll1->value(), 0);
    EXPECT_EQ(f.HScroll1->maximum(), z.HScroll1.Max());
    EXPECT_TRUE(modal.messages.empty());
}

// What a keyboard user and the card's menu reach: zoom in quarter steps and
// back, pan through the bars, the focused button on Return, save and print.
TEST_F(Form2Test, KeysAndTheCardMenuZoomPanAndSave)
{
    Form2& f = handOver(Picture(800, 700, 96));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.activateWindow();
    ZoomPan& z = f.zoom();
    const auto ctrl = [&f](Qt::Key key) { QTest::keyClick(&f, key, Qt::ControlModifier); };
    ctrl(Qt::Key_Plus);
    EXPECT_FLOAT_EQ(z.mZoom, 1.25f);
    ctrl(Qt::Key_Equal);  // the key the plus is on
    EXPECT_FLOAT_EQ(z.mZoom, 1.5f);
    ctrl(Qt::Key_Minus);
    EXPECT_FLOAT_EQ(z.mZoom, 1.25f);
    ctrl(Qt::Key_0);
    EXPECT_FLOAT_EQ(z.mZoom, 1.0f);
    ctrl(Qt::Key_0);
    const auto wheel = [&f](int delta) {
        const QPointF at(20, 20);
        QWheelEvent turn(at, f.Picture1->mapToGlobal(at), {}, QPoint(0, delta), Qt::NoButton, Qt::ControlModifier,
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(f.Picture1, &turn);
    };
    wheel(60);
    EXPECT_FLOAT_EQ(z.mZoom, 1.0f);  // half a notch
    wheel(60);
    EXPECT_FLOAT_EQ(z.mZoom, 1.25f);
    wheel(-120);
    EXPECT_FLOAT_EQ(z.mZoom, 1.0f);

    // The bars are in the Tab order; their keys pan the card through them.
    f.PushButton6->setFocus();
    for (int i = 0; i < 6 && QApplication::focusWidget() != f.VScroll1; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), f.VScroll1);
    QTest::keyClick(f.VScroll1, Qt::Key_Down);
    EXPECT_EQ(z.VScroll1.Value(), 60);  // 600 twips in units of 10
    EXPECT_EQ(f.Picture1->y(), Px(-600));
    QTest::keyClick(f.VScroll1, Qt::Key_PageDown);
    EXPECT_EQ(z.VScroll1.Value(), z.VScroll1.Max());

    // Return on the focused button does what a click does.
    f.PushButton1->setFocus();
    QTest::keyClick(f.PushButton1, Qt::Key_Return);
    EXPECT_FLOAT_EQ(z.mZoom, 1.25f);

    ctrl(Qt::Key_S);
    ASSERT_EQ(modal.dialogs.size(), 1u);
    EXPECT_EQ(modal.dialogs[0].title, "Save File");

    // The card's menu offers printing, saving and the zoom.
    QStringList offered;
    QTimer poll;  // the menu opens when the click's event comes through
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible()) return;
        poll.stop();
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) offered << a->text();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(4)).center());
    });
    poll.start();
    // The right button's menu event, as the window system sends it.
    QContextMenuEvent right(QContextMenuEvent::Mouse, QPoint(20, 20), f.Picture1->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(f.Picture1, &right);
    EXPECT_EQ(offered, (QStringList{"Print\u2026", "Save\u2026", "Zoom in", "Zoom out"}));
    EXPECT_FLOAT_EQ(z.mZoom, 1.0f);
    EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{});
}

// Resized smaller, as on a screen too small for it: the viewport shrinks
// with the window, its bars keep to its edges, the buttons stay in sight,
// and a card that showed whole can now be panned.
TEST_F(Form2Test, TheViewportShrinksAndGrowsWithTheWindow)
{
    Form2& f = handOver(Picture(600, 450, 96));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    ZoomPan& z = f.zoom();
    EXPECT_FALSE(f.VScroll1->isEnabled());  // whole at zoom 1.0
    const QSize built = f.size();
    f.setMinimumSize(0, 0);
    f.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    f.resize(built - QSize(200, 250));
    for (QWidget* w : std::initializer_list<QWidget*>{f.Picture2, f.VScroll1, f.HScroll1, f.Frame1, f.PushButton8, f.PushButton6})
        EXPECT_TRUE(f.rect().contains(w->geometry())) << w->objectName().toStdString();
    EXPECT_EQ(f.VScroll1->geometry().left(), f.Picture2->geometry().right() + 1);
    EXPECT_EQ(f.HScroll1->geometry().top(), f.Picture2->geometry().bottom() + 1);
    EXPECT_EQ(f.PushButton8->geometry().bottom(), f.height() - 1 - (built.height() - 1 - PxRect(120, 8850, 4680, 405).bottom()));
    EXPECT_TRUE(f.VScroll1->isEnabled());
    QTest::keyClick(&f, Qt::Key_PageDown);
    EXPECT_LT(f.Picture1->y(), 0);
    EXPECT_GT(z.VScroll1.Value(), 0);

    f.resize(built);  // back: as built, nothing to pan
    EXPECT_EQ(f.Picture2->geometry(), PxRect(120, 120, 9330, 7425));
    EXPECT_EQ(f.PushButton6->geometry(), PxRect(4920, 8850, 4800, 405));
    EXPECT_FALSE(f.VScroll1->isEnabled());
    EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{});
}
