// What assistive technology reads for the main window's controls. Where the
// caption says it, the name is the caption; "..." and the option captions'
// stray blank do not, so those are named here.

#include "shell/form1.h"

#include "cardgen/catalogue.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace marigal {

namespace {
void Name(QWidget* w, const QString& name, const QString& description = QString())
{
    w->setAccessibleName(name);
    w->setAccessibleDescription(description);
}
}  // namespace

void Form1::setAccessibleNames()
{
    Name(PushButton6, PushButton6->text(),
         QStringLiteral("Makes the card from the chosen design, photo and message, and shows it in the preview."));
    Name(PushButton2, PushButton2->text(),
         QStringLiteral("Empties the photo file and the message, and uses the design's own picture."));
    Name(PushButton3, PushButton3->text(), QStringLiteral("Fills in a sample photo and a sample message."));

    Name(Frame2, Frame2->title(), QStringLiteral("The photo on the card."));
    // The caption's spelling is kept on screen; a reader says the word.
    Name(Label3, QStringLiteral("User-specified:"));
    Label3->setBuddy(txtSubjectPic);
    Name(txtSubjectPic, QStringLiteral("Photo file"),
         QStringLiteral("The path of the photo on the card. Choose a photo picks one."));
    Name(PushButton1, QStringLiteral("Choose a photo"), QStringLiteral("Opens a dialog to pick the photo file."));
    Name(Check1, Check1->text(), QStringLiteral("Clears the photo file; the card shows the design's own picture."));

    Name(Frame3, Frame3->title());
    Name(Text1, QStringLiteral("Message"), QStringLiteral("The text written on the card."));

    Name(Frame1, Frame1->title(), QStringLiteral("The card's design."));
    for (int i = 0; i < kDesignCount; ++i)
        Name(Option1[size_t(i)], DesignCaption(i).trimmed(), QStringLiteral("A design for the card."));

    // Never on screen, but a reader walking the window still meets it.
    Name(Image1, QStringLiteral("Chosen photo"), QStringLiteral("A small copy of the photo file's picture."));
}

}  // namespace marigal
