#include "preview/form2.h"

#include "common/startup.h"

#include "common/config.h"
#include "common/errors.h"
#include "common/files.h"
#include "common/steps.h"
#include "common/timing.h"
#include "common/widgets/paint_trace.h"
#include "preview/card_print.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace marigal {

namespace {
const QString kForm = QStringLiteral("Form2");

// The design size of the window and of its viewport, border included, in twips.
constexpr int kFormWidth = 9840;
constexpr int kFormHeight = 9390;
constexpr int kViewportWidth = 9330;
constexpr int kViewportHeight = 7425;
// Room kept on the screen for the window's frame and title, in pixels.
constexpr int kFrameRoomX = 16;
constexpr int kFrameRoomY = 48;

// Twips that need not be whole (a picture's natural size, a dragged offset).
int PxF(double twips)
{
    return int(std::lround(twips * ScreenDpi() / 1440.0));
}

QLabel* NewPictureBox(QWidget* parent, const QString& name)
{
    auto* box = new QLabel(parent);
    box->setObjectName(name);
    box->setProperty(kControlKind, kPictureBox);
    box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetBackColor(*box, Qt::white);
    return box;
}

QScrollBar* NewScrollBar(QWidget* parent, const QString& name, Qt::Orientation orientation)
{
    auto* bar = new QScrollBar(orientation, parent);
    bar->setObjectName(name);
    bar->setRange(0, 32767);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    // The image follows the thumb only when it is let go.
    bar->setTracking(false);
    return bar;
}
}  // namespace

// The painting and the pointer, lent to the zoom.
class Form2::Surface : public ZoomSurface {
public:
    explicit Surface(Form2& form) : f_(form) {}

    void PrepareImageBox() override { SetBackColor(*f_.Picture1, Qt::white); }

    void CopyPictureToHidden() override
    {
        f_.zoomOriPicture_ = f_.picture1Picture_;
        f_.zoomOriTwips_ = f_.naturalTwips_;
    }

    void ClearPicture() override
    {
        f_.picture1Picture_ = QImage();
        f_.Picture1->clear();
    }

    void PaintFromHidden(int dstWidth, int dstHeight, int srcWidth, int srcHeight) override
    {
        const QImage& copy = f_.zoomOriPicture_;
        if (copy.isNull() || f_.zoomOriTwips_.isEmpty()) throw AppError(apperr::kInvalidPicture);
        // Twips of the picture to its pixels.
        const double sx = copy.width() / f_.zoomOriTwips_.width();
        const double sy = copy.height() / f_.zoomOriTwips_.height();
        const QRect source(0, 0, qBound(1, int(std::lround(srcWidth * sx)), copy.width()),
                           qBound(1, int(std::lround(srcHeight * sy)), copy.height()));
        const QSize target(qMax(1, PxF(dstWidth)), qMax(1, PxF(dstHeight)));
        // In the screen's own pixels, so a high-resolution screen shows the
        // card sharp; always from the unscaled copy, so zooming back and
        // forth loses nothing.
        const qreal ratio = f_.devicePixelRatioF();
        QPixmap drawn = QPixmap::fromImage(copy.copy(source).scaled(
            (QSizeF(target) * ratio).toSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        drawn.setDevicePixelRatio(ratio);
        f_.Picture1->setPixmap(drawn);
    }

    void SetDefaultPointer() override { f_.setMousePointer(MousePointer::Default); }

private:
    Form2& f_;
};

Form2::Form2(Form2Services services, QWidget* parent) : QWidget(parent), svc_(std::move(services))
{
    setObjectName(kForm);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Px(kFormWidth), Px(kFormHeight));
    setFont(ControlFont());
    ApplyWindowPalette(*this);
    buildControls();
    setAccessibleNames();

    const double twipsPerPixel = 1440.0 / ScreenDpi();
    surface_ = std::make_unique<Surface>(*this);
    zoom_ = std::make_unique<ZoomPan>(*svc_.modal, *surface_, viewportTwips(0, 0),
                                      float(Zoom_Ori->frameWidth() * twipsPerPixel));
    TracePaintAfterShow(*this, kForm);
}

Form2::~Form2() = default;

ViewportTwips Form2::viewportTwips(int extraWidth, int extraHeight) const
{
    const double twipsPerPixel = 1440.0 / ScreenDpi();
    const float border = float(Picture2->frameWidth() * twipsPerPixel);
    ViewportTwips viewport;
    viewport.outerWidth = float(kViewportWidth + extraWidth * twipsPerPixel);
    viewport.outerHeight = float(kViewportHeight + extraHeight * twipsPerPixel);
    viewport.innerWidth = viewport.outerWidth - 2 * border;
    viewport.innerHeight = viewport.outerHeight - 2 * border;
    return viewport;
}

void Form2::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int dw = width() - Px(kFormWidth);
    const int dh = height() - Px(kFormHeight);
    if (dw == 0 && dh == 0 && !resized_) return;  // as built
    resized_ = true;
    placeControls(dw, dh);
    zoom_->ResizeViewport(viewportTwips(dw, dh));
    SyncFromZoom();
}

void Form2::placeControls(int dw, int dh)
{
    const auto px = [](int l, int t, int w, int h) { return QRect(Px(l), Px(t), Px(w), Px(h)); };
    // The viewport grows and shrinks with the window; its bars follow its
    // edges, the buttons keep to the bottom and share the width as they do
    // at the window's own size.
    Picture2->setGeometry(px(120, 120, kViewportWidth, kViewportHeight).adjusted(0, 0, dw, dh));
    viewArea_->setGeometry(Picture2->contentsRect());
    VScroll1->setGeometry(px(9450, 120, 255, kViewportHeight).translated(dw, 0).adjusted(0, 0, 0, dh));
    HScroll1->setGeometry(px(120, 7545, kViewportWidth, 255).translated(0, dh).adjusted(0, 0, dw, 0));
    Frame1->setGeometry(px(120, 7860, 9600, 855).translated(0, dh).adjusted(0, 0, dw, 0));
    const double fx = double(Px(kFormWidth) + dw) / Px(kFormWidth);
    const auto across = [fx](const QRect& r) {
        return QRect(int(std::lround(r.x() * fx)), r.y(), int(std::lround(r.width() * fx)), r.height());
    };
    PushButton1->setGeometry(across(px(240, 300, 4440, 405)));
    PushButton2->setGeometry(across(px(4800, 300, 4560, 405)));
    PushButton8->setGeometry(across(px(120, 8850, 4680, 405)).translated(0, dh));
    PushButton6->setGeometry(across(px(4920, 8850, 4800, 405)).translated(0, dh));
}

QSize Form2::ViewportInnerTwips()
{
    const int border = int(std::lround(2 * 2 * 1440.0 / ScreenDpi()));  // the sunken frame: 2 px a side
    return {kViewportWidth - border, kViewportHeight - border};
}

void Form2::buildControls()
{
    // A sunken two-pixel border; the image box lives in the area inside it,
    // which clips it.
    Picture2 = new QFrame(this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setProperty(kControlKind, kPictureBox);
    Picture2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture2->setLineWidth(2);
    SetBackColor(*Picture2, Qt::white);
    viewArea_ = new QWidget(Picture2);
    viewArea_->setObjectName(QStringLiteral("Picture2Area"));
    SetBackColor(*viewArea_, Qt::white);

    Picture1 = NewPictureBox(viewArea_, QStringLiteral("Picture1"));
    Picture1->setGeometry(0, 0, 0, 0);

    VScroll1 = NewScrollBar(this, QStringLiteral("VScroll1"), Qt::Vertical);
    HScroll1 = NewScrollBar(this, QStringLiteral("HScroll1"), Qt::Horizontal);

    Frame1 = new QGroupBox(QStringLiteral("Zoom:"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    PushButton1 = NewPushButton(Frame1, QStringLiteral("PushButton1"), QStringLiteral("Zoom In"));
    PushButton2 = NewPushButton(Frame1, QStringLiteral("PushButton2"), QStringLiteral("Zoom Out"));

    PushButton8 = NewPushButton(this, QStringLiteral("PushButton8"), QStringLiteral("< Back"));
    PushButton6 = NewPushButton(this, QStringLiteral("PushButton6"), QStringLiteral("Save Results To Word File"));

    // Right of the client area and never shown: it holds the unscaled picture.
    Zoom_Ori = NewPictureBox(this, QStringLiteral("Zoom_Ori"));
    Zoom_Ori->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Zoom_Ori->setLineWidth(2);
    PlaceTwips(*Zoom_Ori, 10320, 480, 735, 375);
    Zoom_Ori->setVisible(false);
    placeControls(0, 0);

    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    for (const QKeySequence& keys : {QKeySequence(QKeySequence::Print), QKeySequence(Qt::Key_Print)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] { PrintCard(); });
    // The keys of a viewer: zoom in quarter steps and back to the card's own
    // size, save, print; each runs the handler its button or menu runs.
    const auto onKeys = [this](const QKeySequence& keys, void (Form2::*handler)()) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, handler);
    };
    for (const QKeySequence& keys : {QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)})
        onKeys(keys, &Form2::PushButton1_Click);
    onKeys(QKeySequence::ZoomOut, &Form2::PushButton2_Click);
    onKeys(QKeySequence(Qt::CTRL | Qt::Key_0), &Form2::ZoomToNaturalSize);
    onKeys(QKeySequence::Save, &Form2::PushButton6_Click);
    // The bars take the focus in their turn, so the keys pan too.
    for (QScrollBar* bar : {VScroll1, HScroll1}) {
        bar->setFocusPolicy(Qt::StrongFocus);
        bar->installEventFilter(this);
    }
    viewArea_->installEventFilter(this);
    const QString prints = QStringLiteral("Ctrl+P prints the card.");
    PushButton6->setToolTip(QStringLiteral("Saves the card as a Word document or a PDF. ") + prints);
    Picture1->setToolTip(prints);
    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int v) { ScrollBarMoved(HScroll1, v); });
    connect(VScroll1, &QScrollBar::valueChanged, this, [this](int v) { ScrollBarMoved(VScroll1, v); });

    Picture1->installEventFilter(this);
    setMouseTracking(true);
    for (QWidget* w : std::initializer_list<QWidget*>{PushButton1, PushButton2, PushButton8, PushButton6, Frame1}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
}

void Form2::Form_Load()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("Form_Load"));
    s(100, [&] { mPendingSetup = true; });
    s(102, [&] { SetSystemColors(*this); });
    s(104, [&] {
        setWindowTitle(config::kProductTitle);
        setWindowIcon(AppIcon());
    });
    const QString handPath = JoinPath(svc_.appFolder, QStringLiteral("HAND-M.CUR"));
    bool handExists = false;
    s(108, [&] { handExists = FileExists(handPath); });
    if (handExists) s(110, [&] { hand_ = LoadCursorFile(handPath); });
}

QSizeF Form2::NaturalTwips(const QImage& picture)
{
    const auto dpi = [](int dotsPerMeter) { return dotsPerMeter > 0 ? dotsPerMeter * 0.0254 : 96.0; };
    return {picture.width() / dpi(picture.dotsPerMeterX()) * 1440.0,
            picture.height() / dpi(picture.dotsPerMeterY()) * 1440.0};
}

void Form2::SetPicture(const QImage& picture)
{
    picture1Picture_ = picture;
    naturalTwips_ = NaturalTwips(picture);
    // The image box sizes itself to the picture.
    zoom_->PictureAssigned(float(naturalTwips_.width()), float(naturalTwips_.height()));
    const QSize shown(qMax(1, PxF(naturalTwips_.width())), qMax(1, PxF(naturalTwips_.height())));
    // The preparation at the window's activation draws it again, smoothly,
    // before it is first seen: a quick scaling does here.
    Picture1->setPixmap(QPixmap::fromImage(picture.size() == shown
                                               ? picture
                                               : picture.scaled(shown, Qt::IgnoreAspectRatio,
                                                                Qt::FastTransformation)));
    SyncFromZoom();
}

void Form2::setMousePointer(MousePointer p)
{
    if (p == pointer_ && testAttribute(Qt::WA_SetCursor)) return;
    pointer_ = p;
    setCursor(CursorFor(p, hand_));
}

void Form2::Form_Activate()
{
    // An error box closing activates the window again while this still runs.
    if (activating_) return;
    activating_ = true;
    Steps s(*svc_.modal, kForm, QStringLiteral("Form_Activate"));
    bool due = false;
    s(100, [&] { due = mPendingSetup; });
    if (due) {
        zoom_->Prepare(s);
        SyncFromZoom();
    }
    s(138, [&] { mPendingSetup = false; });
    activating_ = false;
}

void Form2::Form_QueryUnload()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("Form_QueryUnload"));
    s(100, [&] {
        RemoveFile(mWordFile);
        RemoveFile(CardPdfPath(mWordFile));
    });
    // Lets queued work such as painting run before the application ends.
    s(102, [&] { QCoreApplication::processEvents(); });
    s(104, [&] { QCoreApplication::processEvents(); });
}

void Form2::Form_Unload()
{
    if (svc_.endApplication) svc_.endApplication();
}

void Form2::PushButton1_Click()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("PushButton1_Click"));
    s(100, [&] { zoom_->ZoomStep(0); });
    SyncFromZoom();
}

void Form2::PushButton2_Click()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("PushButton2_Click"));
    s(100, [&] { zoom_->ZoomStep(1); });
    SyncFromZoom();
}

void Form2::ZoomToNaturalSize()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("ZoomToNaturalSize"));
    s(100, [&] { zoom_->SetZoom(1.0f); });
    SyncFromZoom();
}

bool Form2::PanByKey(int key)
{
    const bool across = key == Qt::Key_Left || key == Qt::Key_Right;
    QScrollBar* bar = across ? HScroll1 : VScroll1;
    const float page = across ? zoom_->viewport().innerWidth : zoom_->viewport().innerHeight;
    float twips = 0;
    switch (key) {
    case Qt::Key_Left: case Qt::Key_Up: twips = -kArrowPanTwips; break;
    case Qt::Key_Right: case Qt::Key_Down: twips = kArrowPanTwips; break;
    case Qt::Key_PageUp: twips = -page; break;
    case Qt::Key_PageDown: twips = page; break;
    default: return false;
    }
    const int step = across ? zoom_->mHStep : zoom_->mVStep;
    if (!bar->isEnabled() || step <= 0) return true;  // the whole card shows already
    const int units = int(std::lround(twips / float(step)));
    const int moved = units != 0 ? units : (twips < 0 ? -1 : 1);
    // Through the bar, so its change handler pans the card.
    bar->setValue(std::clamp(bar->value() + moved, bar->minimum(), bar->maximum()));
    return true;
}

bool Form2::WheelOnCard(QWheelEvent* wheel)
{
    wheelTurn_ += wheel->angleDelta().y() != 0 ? wheel->angleDelta().y() : wheel->angleDelta().x();
    const bool zooms = wheel->modifiers() & Qt::ControlModifier;
    const bool across = !zooms && (wheel->modifiers() & Qt::ShiftModifier || wheel->angleDelta().y() == 0);
    // A notch is 120; a touchpad sends it in smaller parts.
    while (std::abs(wheelTurn_) >= 120) {
        const bool forward = wheelTurn_ > 0;
        wheelTurn_ -= forward ? 120 : -120;
        if (zooms) forward ? PushButton1_Click() : PushButton2_Click();
        else for (int i = 0; i < 3; ++i)
            PanByKey(across ? (forward ? Qt::Key_Left : Qt::Key_Right) : (forward ? Qt::Key_Up : Qt::Key_Down));
    }
    return true;
}

void Form2::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier && PanByKey(event->key())) return;
    QWidget::keyPressEvent(event);
}

void Form2::PushButton8_Click()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("PushButton8_Click"));
    s(102, [&] {
        RemoveFile(mWordFile);
        RemoveFile(CardPdfPath(mWordFile));
    });
    s(104, [&] {
        if (svc_.showMainWindow) svc_.showMainWindow();
    });
    s(106, [&] { hide(); });
    // The next card handed over gets its own preparation.
    mPendingSetup = true;
}

void Form2::PhotoFit_Click(bool whole)
{
    if (!svc_.remakeCard) return;
    const QString old = mWordFile;
    const MousePointer before = pointer_;
    setMousePointer(MousePointer::Hourglass);
    svc_.remakeCard(whole);
    setMousePointer(before);
    // The card it replaced, once a new one has been handed over.
    if (mWordFile != old) {
        RemoveFile(old);
        RemoveFile(CardPdfPath(old));
    }
}

void Form2::ShowCardMenu(const QPoint& globalPos)
{
    QMenu menu(this);
    const auto entry = [&menu](const QString& text, const QKeySequence& keys) {
        QAction* a = menu.addAction(text);
        a->setShortcut(keys);
        a->setShortcutVisibleInContextMenu(true);
        return a;
    };
    QAction* print = entry(QStringLiteral("Print\u2026"), QKeySequence::Print);
    QAction* save = entry(QStringLiteral("Save\u2026"), QKeySequence::Save);
    menu.addSeparator();
    QAction* zoomIn = entry(QStringLiteral("Zoom in"), QKeySequence::ZoomIn);
    QAction* zoomOut = entry(QStringLiteral("Zoom out"), QKeySequence::ZoomOut);
    QAction* showWhole = nullptr;
    QAction* fill = nullptr;
    const bool whole = svc_.wholePhoto && svc_.wholePhoto();
    if (svc_.remakeCard) {
        menu.addSeparator();
        const bool photo = svc_.cardHasPhoto && svc_.cardHasPhoto();
        showWhole = menu.addAction(QStringLiteral("Show the whole photo"));
        fill = menu.addAction(QStringLiteral("Fill the frame"));
        for (QAction* a : {showWhole, fill}) {
            a->setCheckable(true);
            a->setEnabled(photo);
        }
        showWhole->setChecked(whole);
        fill->setChecked(!whole);
    }
    QAction* chosen = menu.exec(globalPos);
    if (!chosen) return;
    if (chosen == print) PrintCard();
    else if (chosen == save) PushButton6_Click();
    else if (chosen == zoomIn) PushButton1_Click();
    else if (chosen == zoomOut) PushButton2_Click();
    else if (chosen == showWhole && !whole) PhotoFit_Click(true);
    else if (chosen == fill && whole) PhotoFit_Click(false);
}

void Form2::PushButton6_Click()
{
    Steps s(*svc_.modal, QStringLiteral("Form2"), QStringLiteral("PushButton6_Click"));
    bool failed = false;
    auto step = [&](int line, const std::function<void()>& body) { failed |= !s(line, body); };
    const QString title = ApplicationTitle(config::kProductTitle);
    QString name;
    bool copied = false;
    MsgResult answer = MsgResult::Ok;  // none yet
    step(106, [&] { CommonDialog1.FileName = QString(); });
    step(108, [&] { CommonDialog1.DialogTitle = QStringLiteral("Save File"); });
    // The Word document first and chosen; the card's PDF besides.
    step(110, [&] {
        CommonDialog1.Filter = QStringLiteral("Word Files (*.doc)|*.doc|PDF Files (*.pdf)|*.pdf");
        CommonDialog1.FilterIndex = 1;
    });
    step(112, [&] { CommonDialog1.ShowSave(*svc_.modal); });
    step(114, [&] { name = CommonDialog1.FileName; });
    const QString source = CommonDialog1.FilterIndex == 2 ? CardPdfPath(mWordFile) : mWordFile;
    if (!name.isEmpty()) {
        bool exists = false;
        step(118, [&] { exists = FileExists(name); });
        if (exists) {
            step(120, [&] {
                answer = svc_.modal->message(QStringLiteral("Are you sure you wish to overwrite ") + name +
                                                 QStringLiteral(" ?"),
                                             title, MsgButtons::YesNo, MsgIcon::None);
            });
            // The old file is replaced only by a complete copy (130), never
            // deleted beforehand; the card document itself is never a target.
            if (answer == MsgResult::Yes) step(124, [&] { RefuseSameFile(source, name); });
        } else {
            step(126, [&] { answer = MsgResult::Yes; });
        }
        if (answer == MsgResult::Yes && !failed) step(130, [&] {
                CopyFileReplacing(source, name);
                copied = true;
            });
    }
    // Where the card went, below the word that it is done.
    const QString done = copied ? QStringLiteral("Done.\n") + QDir::toNativeSeparators(name) : QStringLiteral("Done.");
    if (!failed) step(132, [&] { svc_.modal->message(done, title, MsgButtons::Ok, MsgIcon::None); });
}

void Form2::PrintCard()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("PrintCard"));
    const QString title = ApplicationTitle(config::kProductTitle);
    const QString pdf = CardPdfPath(mWordFile);
    if (pdf.isEmpty()) return;
    if (!AnyPrinter()) {
        svc_.modal->message(QStringLiteral("No printer is set up. Add one in the system's printer settings, then "
                                           "print again."),
                            title, MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    QPrinter printer;
    printer.setDocName(QFileInfo(mWordFile).completeBaseName());
    QPrintDialog dialog(&printer, this);
    dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintShowPageSize);
    dialog.setMinMax(1, 2);  // a card has one page or two
    if (dialog.exec() != QDialog::Accepted) return;
    PrintChoice choice;
    choice.printer = printer.printerName();
    choice.copies = printer.copyCount();
    if (printer.printRange() == QPrinter::PageRange) {
        choice.fromPage = printer.fromPage();
        choice.toPage = printer.toPage();
    }
    choice.media = printer.pageLayout().pageSize().key();
    choice.title = printer.docName();
    s(100, [&] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        struct Restored {
            ~Restored() { QApplication::restoreOverrideCursor(); }
        } restored;
        PrintPdf(pdf, choice);
    });
}

void Form2::SyncFromZoom()
{
    syncing_ = true;
    const ZoomPan& z = *zoom_;
    const TwipBox& box = z.imageBox;
    Picture1->setGeometry(PxF(box.left), PxF(box.top), qMax(0, PxF(box.width)), qMax(0, PxF(box.height)));
    const auto mirror = [](QScrollBar* bar, const ScrollBarModel& model) {
        bar->setRange(model.Min(), model.Max());
        bar->setValue(model.Value());
        bar->setEnabled(model.Enabled());
    };
    mirror(HScroll1, z.HScroll1);
    mirror(VScroll1, z.VScroll1);
    if (z.hiddenCopy.width > 0 && z.hiddenCopy.height > 0)
        Zoom_Ori->resize(PxF(z.hiddenCopy.width), PxF(z.hiddenCopy.height));
    syncing_ = false;
}

void Form2::ScrollBarMoved(QScrollBar* bar, int value)
{
    if (syncing_) return;
    // The bars' change handlers report nothing.
    try {
        if (bar == HScroll1) zoom_->ScrollHTo(value);
        else zoom_->ScrollVTo(value);
    } catch (const AppError&) {
    }
    SyncFromZoom();
}

float Form2::ToTwips(qreal pixels) const
{
    return float(pixels * 1440.0 / ScreenDpi());
}

void Form2::setVisible(bool visible)
{
    if (visible && !centred_) {
        centred_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            const QSize room = area.size() - QSize(kFrameRoomX, kFrameRoomY);
            if (width() > room.width() || height() > room.height()) {
                // Larger than this screen (a high scale on a small one): it
                // opens as large as the screen allows and may be resized.
                setMinimumSize(QSize(Px(kFormWidth) / 2, Px(kFormHeight) / 2).boundedTo(room));
                setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
                resize(size().boundedTo(room));
            }
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QWidget::setVisible(visible);
}

bool Form2::event(QEvent* event)
{
    // Without a window manager the focus can come back to the window just
    // after "< Back" hid it: a hidden window is not the active one, and its
    // preparation waits for the next card.
    if (event->type() == QEvent::WindowActivate && isVisible()) Form_Activate();
    return QWidget::event(event);
}

void Form2::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The keys go to the card the user just made, with or without a window
    // manager to hand it the focus.
    activateWindow();
    // Without a window manager the activation may never be reported.
    Form_Activate();
}

bool Form2::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel && (watched == Picture1 || watched == viewArea_))
        return WheelOnCard(static_cast<QWheelEvent*>(event));
    if (event->type() == QEvent::KeyPress && (watched == HScroll1 || watched == VScroll1)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && PanByKey(key->key())) return true;
    }
    if (watched == Picture1) {
        switch (event->type()) {
        case QEvent::ContextMenu:
            ShowCardMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            // The right button opens the menu; it does not take the picture.
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) return true;
            const QPointF at = static_cast<QMouseEvent*>(event)->position();
            zoom_->picture1_MouseDown(ToTwips(at.x()), ToTwips(at.y()));
            return true;
        }
        case QEvent::MouseMove: {
            const auto* move = static_cast<QMouseEvent*>(event);
            zoom_->picture1_MouseMove(move->buttons() != Qt::NoButton, ToTwips(move->position().x()),
                                      ToTwips(move->position().y()));
            SyncFromZoom();
            return true;
        }
        case QEvent::MouseButtonRelease:
            zoom_->Picture1_MouseUp();
            SyncFromZoom();
            return true;
        default:
            return QWidget::eventFilter(watched, event);
        }
    }
    if (const auto pointer = PointerForMove(watched, event, {PushButton1, PushButton2, PushButton8, PushButton6}, pointer_))
        setMousePointer(*pointer);
    return QWidget::eventFilter(watched, event);
}

void Form2::mouseMoveEvent(QMouseEvent* event)
{
    if (MovedOnItself(this, event)) setMousePointer(PointerOverBackground(pointer_));
    QWidget::mouseMoveEvent(event);
}

void Form2::closeEvent(QCloseEvent* event)
{
    Form_QueryUnload();
    event->accept();
    Form_Unload();
}

}  // namespace marigal
