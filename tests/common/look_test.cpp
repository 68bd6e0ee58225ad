// The skin and the system colours take the button face on the right controls.

#include "common/widgets/look.h"
#include "tests/support/temp_env.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace marigal;

namespace {
struct Window {
    QWidget form;
    QGroupBox* frame = new QGroupBox("Frame", &form);
    QLabel* label = new QLabel("Label", frame);
    QCheckBox* check = new QCheckBox("Check", frame);
    QRadioButton* option = new QRadioButton("Option", frame);
    QLineEdit* edit = new QLineEdit(frame);
    QLabel* picture = new QLabel(&form);
    QLabel* image = new QLabel(&form);
    Window()
    {
        SetBackColor(form, Qt::white);
        picture->setProperty(kControlKind, kPictureBox);
        image->setProperty(kControlKind, kImage);
        SetBackColor(*picture, Qt::white);
    }
};
}  // namespace

TEST(SetSystemColors, ButtonFaceOnOptionsChecksFramesLabelsButNotPictures)
{
    Window w;
    SetSystemColors(w.form);
    const QColor face = ButtonFaceColor();
    EXPECT_EQ(BackColor(w.form), face);
    for (QWidget* c : {static_cast<QWidget*>(w.frame), static_cast<QWidget*>(w.label),
                       static_cast<QWidget*>(w.check), static_cast<QWidget*>(w.option)})
        EXPECT_EQ(BackColor(*c), face) << c->metaObject()->className();
    EXPECT_EQ(BackColor(*w.picture), QColor(Qt::white));
    EXPECT_FALSE(w.edit->autoFillBackground());
    EXPECT_FALSE(w.image->autoFillBackground());
}

TEST(ApplySkinIfPresent, WithoutTheSkinFileNothingChanges)
{
    QTemporaryDir appFolder;
    Window w;
    SkinFramework skin;
    ApplySkinIfPresent(w.form, skin, appFolder.path());
    EXPECT_EQ(BackColor(w.form), QColor(Qt::white));
    EXPECT_FALSE(w.frame->autoFillBackground());
    EXPECT_TRUE(w.form.styleSheet().isEmpty());
}

TEST(ApplySkinIfPresent, WithTheSkinFileColoursPicturesTooAndAppliesTheSheet)
{
    QTemporaryDir appFolder;
    QDir(appFolder.path()).mkdir("x");
    const QByteArray sheet = "QGroupBox { color: #223366; }";
    test::WriteFile(appFolder.filePath("x/o.cjs"), sheet);
    Window w;
    SkinFramework skin;
    ApplySkinIfPresent(w.form, skin, appFolder.path());
    const QColor face = ButtonFaceColor();
    EXPECT_EQ(BackColor(w.form), face);
    EXPECT_EQ(BackColor(*w.frame), face);
    EXPECT_EQ(BackColor(*w.picture), face);
    EXPECT_EQ(skin.options() & 1, 1);
    EXPECT_EQ(skin.styleSheet(), QString::fromUtf8(sheet));
    EXPECT_EQ(qApp->styleSheet(), QString::fromUtf8(sheet));
    qApp->setStyleSheet(QString());
}

TEST(TwipsToPixels, FifteenTwipsAPixelAtNinetySixDpi)
{
    EXPECT_EQ(TwipsToPixels(8040, 96), 536);
    EXPECT_EQ(TwipsToPixels(4395, 96), 293);
    EXPECT_EQ(TwipsToPixels(15, 96), 1);
    EXPECT_EQ(TwipsToPixels(8040, 192), 1072);
    EXPECT_EQ(TwipsToPixels(1440, 120), 120);
}
