#pragma once
// The look of the windows: the optional skin, the system colour scheme, and
// the small helpers that give a control its colour and its twip geometry.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QString>

class QEvent;
class QWidget;
class QPushButton;

namespace marigal {

// The windows' palette: the desktop's own when it is light; under a dark
// theme a light one of their own, whole, since the windows paint their
// surfaces white and a theme's light text would vanish on them.
QPalette WindowPalette();
// Gives a window that palette; its controls inherit it.
void ApplyWindowPalette(QWidget& window);

// The system's button face colour (of the windows' palette).
QColor ButtonFaceColor();

// The application icon, in every size the program carries.
QIcon AppIcon();

// A control's own background colour, painted by the control itself.
void SetBackColor(QWidget& control, const QColor& color);
QColor BackColor(const QWidget& control);

// Control kinds that are not told apart by their Qt class: a QLabel is a
// label unless marked as a picture box or an image holder.
inline const char* const kControlKind = "controlKind";
inline const QString kPictureBox = QStringLiteral("picture");
inline const QString kImage = QStringLiteral("image");

// Window and control geometry is given in twips (1/1440 inch); this is the
// one conversion to the screen's pixels (15 twips to a pixel at 96 dpi).
int TwipsToPixels(int twips, double dpi);
double ScreenDpi();
int Px(int twips);  // at the primary screen's DPI
void PlaceTwips(QWidget& w, int left, int top, int width, int height);

// The windows' font: Arial 9 pt bold (push buttons have their own).
QFont ControlFont();

// A move that a child left unhandled travels on to its parent; only a move
// over the widget's own surface counts as a move over that widget.
bool MovedOnItself(QWidget* w, QEvent* event);

// A push button as the windows use them: Arial 11.25 pt bold on white.
QPushButton* NewPushButton(QWidget* parent, const QString& objectName, const QString& caption);

// The skin engine: a skin file is a Qt style sheet. Members by number, as the
// skin control's dispatch identifiers:
//   1  options (bit 0: the skin is applied at all)
//   2  load a skin file (path, ini section — unused by style sheets)
//   3  apply the skin to a window and its controls
//   5  apply it to every window of the application, present and future
//   10 apply it to the message boxes and file dialogs as well
class SkinFramework {
public:
    int options() const { return options_; }                                  // 1 (get)
    void setOptions(int value) { options_ = value; }                          // 1 (set)
    void loadSkin(const QString& path, const QString& ini);                   // 2
    void applyWindow(QWidget& window);                                        // 3
    void setApplyToAllWindows(bool on) { allWindows_ = on; }                  // 5
    void setApplyToDialogs(bool on) { dialogs_ = on; }                        // 10

    const QString& styleSheet() const { return sheet_; }

private:
    int options_ = 0;
    bool allWindows_ = false;
    bool dialogs_ = false;
    QString sheet_;
};

// The skin file's path: the application folder + "x/o.cjs".
QString SkinFilePath(const QString& appFolder);

// When the skin file exists: the window and its option buttons, check boxes,
// frames, labels and picture boxes take the button face colour, and the skin
// is loaded and applied to the window. Raises AppError.
void ApplySkinIfPresent(QWidget& form, SkinFramework& skin, const QString& appFolder);

// The window and its option buttons, check boxes, frames and labels take the
// button face colour (picture boxes keep theirs).
void SetSystemColors(QWidget& form);

// A dialog about to be shown takes the skin when the skin asks for it.
void ApplyDialogSkin(QWidget& dialog);

}  // namespace marigal
