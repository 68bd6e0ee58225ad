// What assistive technology reads for the preview's controls: "< Back" is
// read without its arrow, and the card picture says which card it shows.

#include "preview/form2.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace marigal {

namespace {
const QString kCardName = QStringLiteral("The card");

void Name(QWidget* w, const QString& name, const QString& description = QString())
{
    w->setAccessibleName(name);
    w->setAccessibleDescription(description);
}
}  // namespace

void Form2::setAccessibleNames()
{
    Name(Picture2, QStringLiteral("Card view"),
         QStringLiteral("Drag the card to move it; Zoom In and Zoom Out change its size."));
    Name(Picture1, kCardName);
    Name(VScroll1, QStringLiteral("Vertical position"), QStringLiteral("Moves the card up and down in the view."));
    Name(HScroll1, QStringLiteral("Horizontal position"),
         QStringLiteral("Moves the card left and right in the view."));
    Name(Frame1, QStringLiteral("Zoom"), QStringLiteral("The size the card is shown at."));
    Name(PushButton1, PushButton1->text(), QStringLiteral("Shows the card larger."));
    Name(PushButton2, PushButton2->text(), QStringLiteral("Shows the card smaller."));
    Name(PushButton8, QStringLiteral("Back"),
         QStringLiteral("Returns to the main window; a card not saved is not kept."));
    Name(PushButton6, PushButton6->text(), PushButton6->toolTip());
}

void Form2::DescribeCard(const QString& design, const QString& message)
{
    if (design.isEmpty()) {
        Picture1->setAccessibleDescription(QString());
        return;
    }
    const QString said = message.trimmed().isEmpty() ? QStringLiteral("No message.")
                                                      : QStringLiteral("Message: %1").arg(message);
    Picture1->setAccessibleDescription(QStringLiteral("Design: %1. %2").arg(design, said));
}

}  // namespace marigal
