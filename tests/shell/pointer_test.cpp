// The pointer over the main window: the hand over buttons, the default
// elsewhere, and the hourglass untouched while it is up.

#include "tests/shell/form1_fixture.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

using namespace marigal;
using marigal::test::Form1Test;

namespace {
void MoveOver(QWidget* w)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
}
}  // namespace

TEST_F(Form1Test, HandOverButtonsDefaultOverTheRest)
{
    Form1& f = load();
    f.show();
    for (QWidget* button : {f.PushButton1, f.PushButton2, f.PushButton3, f.PushButton6}) {
        MoveOver(button);
        EXPECT_EQ(f.mousePointer(), MousePointer::Custom);
        EXPECT_EQ(f.cursor().shape(), Qt::PointingHandCursor);  // no hand file: the platform's hand
        MoveOver(f.Frame2);
        EXPECT_EQ(f.mousePointer(), MousePointer::Default);
    }
    for (QWidget* background : std::initializer_list<QWidget*>{&f, f.Frame1, f.Frame3, f.Text1, f.txtSubjectPic}) {
        MoveOver(f.PushButton6);
        MoveOver(background);
        EXPECT_EQ(f.mousePointer(), MousePointer::Default);
        EXPECT_EQ(f.cursor().shape(), Qt::ArrowCursor);
    }
}

TEST_F(Form1Test, HourglassIsNotDisturbedByHovering)
{
    Form1& f = load();
    f.show();
    f.setMousePointer(MousePointer::Hourglass);
    EXPECT_EQ(f.cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(f.Text1->cursor().shape(), Qt::WaitCursor);
    MoveOver(f.PushButton6);
    MoveOver(f.Frame1);
    MoveOver(&f);
    EXPECT_EQ(f.mousePointer(), MousePointer::Hourglass);
    f.setMousePointer(MousePointer::Default);
    EXPECT_EQ(f.Text1->cursor().shape(), Qt::IBeamCursor);
}
