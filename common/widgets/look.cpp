#include "common/widgets/look.h"

#include "common/errors.h"
#include "common/files.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <cmath>

namespace marigal {

namespace {
// The skin's sheet for dialogs, when the skin asked for it (member 10).
QString& DialogSheet()
{
    static QString sheet;
    return sheet;
}

enum class Kind { Option, Check, Frame, Label, Picture, Other };

Kind KindOf(const QWidget* w)
{
    const QString marked = w->property(kControlKind).toString();
    if (marked == kPictureBox) return Kind::Picture;
    if (!marked.isEmpty()) return Kind::Other;
    if (qobject_cast<const QRadioButton*>(w)) return Kind::Option;
    if (qobject_cast<const QCheckBox*>(w)) return Kind::Check;
    if (qobject_cast<const QGroupBox*>(w)) return Kind::Frame;
    if (qobject_cast<const QLabel*>(w)) return Kind::Label;
    return Kind::Other;
}

void ColourControls(QWidget& form, bool pictureBoxesToo)
{
    const QColor face = ButtonFaceColor();
    SetBackColor(form, face);
    for (QWidget* w : form.findChildren<QWidget*>()) {
        const Kind k = KindOf(w);
        if (k == Kind::Other || (k == Kind::Picture && !pictureBoxesToo)) continue;
        SetBackColor(*w, face);
    }
}
}  // namespace

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {32, 48, 128, 256}) {
        const QString file = QStringLiteral(":/marigal/icon-%1.png").arg(size);
        if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
    }
    return icon;
}

QPalette WindowPalette()
{
    const QPalette desktop = QApplication::palette();
    if (desktop.color(QPalette::Window).lightness() >= 128 &&
        desktop.color(QPalette::WindowText).lightness() < desktop.color(QPalette::Window).lightness())
        return desktop;
    // Qt's own light colours.
    QPalette light(QColor(0, 0, 0), QColor(0xef, 0xef, 0xef), QColor(Qt::white), QColor(0x9f, 0x9f, 0x9f),
                   QColor(0xb8, 0xb8, 0xb8), QColor(0, 0, 0), QColor(Qt::white), QColor(Qt::white),
                   QColor(0xef, 0xef, 0xef));
    light.setColor(QPalette::ButtonText, Qt::black);
    light.setColor(QPalette::Highlight, QColor(0x30, 0x8c, 0xc6));
    light.setColor(QPalette::HighlightedText, Qt::white);
    light.setColor(QPalette::AlternateBase, QColor(0xf7, 0xf7, 0xf7));
    light.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
    light.setColor(QPalette::ToolTipText, Qt::black);
    light.setColor(QPalette::PlaceholderText, QColor(0x6e, 0x6e, 0x6e));
    light.setColor(QPalette::Link, QColor(0, 0, 0xff));
    light.setColor(QPalette::LinkVisited, QColor(0xff, 0, 0xff));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        light.setColor(QPalette::Disabled, role, QColor(0x78, 0x78, 0x78));
    return light;
}

void ApplyWindowPalette(QWidget& window)
{
    window.setPalette(WindowPalette());
}

QColor ButtonFaceColor()
{
    return WindowPalette().color(QPalette::Active, QPalette::Button);
}

void SetBackColor(QWidget& control, const QColor& color)
{
    QPalette p = control.palette();
    p.setColor(QPalette::Window, color);
    if (qobject_cast<QPushButton*>(&control)) p.setColor(QPalette::Button, color);
    control.setPalette(p);
    control.setAutoFillBackground(true);
}

QColor BackColor(const QWidget& control)
{
    return control.palette().color(QPalette::Window);
}

int TwipsToPixels(int twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

double ScreenDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

int Px(int twips)
{
    return TwipsToPixels(twips, ScreenDpi());
}

void PlaceTwips(QWidget& w, int left, int top, int width, int height)
{
    const double dpi = ScreenDpi();
    w.setGeometry(TwipsToPixels(left, dpi), TwipsToPixels(top, dpi), TwipsToPixels(width, dpi),
                  TwipsToPixels(height, dpi));
}

QFont ControlFont()
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(9);
    f.setBold(true);
    return f;
}

bool MovedOnItself(QWidget* w, QEvent* event)
{
    return w->childAt(static_cast<QMouseEvent*>(event)->position().toPoint()) == nullptr;
}

QPushButton* NewPushButton(QWidget* parent, const QString& objectName, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(objectName);
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(11.25);
    f.setBold(true);
    b->setFont(f);
    // Return presses the focused button, as Space does.
    b->setAutoDefault(true);
    QPalette p = b->palette();
    p.setColor(QPalette::Button, Qt::white);
    p.setColor(QPalette::ButtonText, WindowPalette().color(QPalette::ButtonText));
    b->setPalette(p);
    return b;
}

void SkinFramework::loadSkin(const QString& path, const QString& /*ini*/)
{
    QFile f(path);
    if (!f.exists()) throw AppError(apperr::kFileNotFound);
    if (!f.open(QIODevice::ReadOnly)) throw AppError(apperr::kPermissionDenied);
    sheet_ = QString::fromUtf8(f.readAll());
}

void SkinFramework::applyWindow(QWidget& window)
{
    if (!(options_ & 1)) return;
    if (allWindows_ && qApp) qApp->setStyleSheet(sheet_);
    else window.setStyleSheet(sheet_);
    DialogSheet() = dialogs_ ? sheet_ : QString();
}

QString SkinFilePath(const QString& appFolder)
{
    return JoinPath(appFolder, QStringLiteral("x/o.cjs"));
}

void ApplySkinIfPresent(QWidget& form, SkinFramework& skin, const QString& appFolder)
{
    const QString path = SkinFilePath(appFolder);
    if (!QFileInfo(path).isFile()) return;
    ColourControls(form, true);
    skin.loadSkin(path, QString());
    skin.setOptions(skin.options() | 1);
    skin.setApplyToAllWindows(true);
    skin.setApplyToDialogs(true);
    skin.applyWindow(form);
}

void SetSystemColors(QWidget& form)
{
    ColourControls(form, false);
}

void ApplyDialogSkin(QWidget& dialog)
{
    if (!DialogSheet().isEmpty()) dialog.setStyleSheet(DialogSheet());
}

}  // namespace marigal
