#include "shell/form1.h"

#include "cardgen/availability.h"
#include "cardgen/catalogue.h"
#include "cardgen/page_export.h"
#include "common/config.h"
#include "common/errors.h"
#include "common/files.h"
#include "photo/picture.h"
#include "common/startup.h"
#include "common/steps.h"
#include "common/timing.h"
#include "common/widgets/paint_trace.h"
#include "preview/form2.h"
#include "shell/photo_input.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

#include <utility>

namespace marigal {

namespace {
const QString kForm = QStringLiteral("Form1");
constexpr int kMessageMaxLength = 1000000;
// The dialog takes one file: its title says so.
const QString kPhotoTitle = QStringLiteral("Choose a photo");
// The first entry as it always was, and chosen; the second lists every kind
// of picture the program reads, HEIC and WebP among them.
const QString kPhotoFilter = QStringLiteral("Supported Pictures (*.jpg;*.bmp;*.jpeg)|*.jpg;*.bmp;*.jpeg|") +
                             QStringLiteral("All Pictures (%1)|%1|").arg(PicturePatterns());

template <typename W, typename... A>
W* Make(QWidget* parent, const QString& name, int l, int t, int w, int h, A&&... a)
{
    auto* widget = new W(std::forward<A>(a)..., parent);
    widget->setObjectName(name);
    PlaceTwips(*widget, l, t, w, h);
    return widget;
}
}  // namespace

Form1::Form1(Form1Services services, QWidget* parent) : QWidget(parent), svc_(std::move(services))
{
    setObjectName(kForm);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Px(8040), Px(4395));
    setFont(ControlFont());
    ApplyWindowPalette(*this);
    SetBackColor(*this, Qt::white);
    buildControls();
    setAccessibleNames();
    TracePaintAfterShow(*this, kForm);
}

void Form1::buildControls()
{
    PushButton6 = NewPushButton(this, QStringLiteral("PushButton6"), QStringLiteral("Start Creating Template"));
    PlaceTwips(*PushButton6, 120, 120, 7800, 405);
    PushButton2 = NewPushButton(this, QStringLiteral("PushButton2"), QStringLiteral("Clear/Reset Data"));
    PlaceTwips(*PushButton2, 120, 630, 3840, 405);
    PushButton3 = NewPushButton(this, QStringLiteral("PushButton3"), QStringLiteral("Load Sample/Example Data"));
    PlaceTwips(*PushButton3, 4080, 630, 3840, 405);

    Frame2 = Make<QGroupBox>(this, QStringLiteral("Frame2"), 120, 1140, 7800, 1155, QStringLiteral("Photo"));
    Label3 = Make<QLabel>(Frame2, QStringLiteral("Label3"), 240, 345, 1395, 225, QStringLiteral("User-specificed:"));
    txtSubjectPic = Make<QLineEdit>(Frame2, QStringLiteral("txtSubjectPic"), 1800, 300, 5055, 345);
    PushButton1 = NewPushButton(Frame2, QStringLiteral("PushButton1"), QStringLiteral("..."));
    PlaceTwips(*PushButton1, 6960, 300, 600, 345);
    Check1 = Make<QCheckBox>(Frame2, QStringLiteral("Check1"), 240, 750, 5775, 255,
                             QStringLiteral("Use default picture included with card instead of user-specified"));

    Frame3 = Make<QGroupBox>(this, QStringLiteral("Frame3"), 120, 2370, 7800, 825, QStringLiteral("Message"));
    Text1 = Make<QLineEdit>(Frame3, QStringLiteral("Text1"), 240, 300, 7320, 345);
    // The message has no limit of its own; the box's default (32,767) would
    // cut a longer stored message and save it back cut.
    Text1->setMaxLength(kMessageMaxLength);

    Frame1 = Make<QGroupBox>(this, QStringLiteral("Frame1"), 120, 3255, 7800, 1020,
                             QStringLiteral("Select Template"));
    struct OptionPlace { int l, t, w, h; };
    const OptionPlace places[kDesignCount] = {
        {240, 300, 2055, 255}, {2520, 300, 1215, 255}, {3720, 300, 1215, 255},
        {4800, 300, 1215, 255}, {2520, 650, 1215, 255}, {240, 650, 2175, 255},
    };
    for (int i = 0; i < kDesignCount; ++i) {
        const OptionPlace& p = places[i];
        Option1[i] = Make<QRadioButton>(Frame1, QStringLiteral("Option1_%1").arg(i), p.l, p.t, p.w, p.h,
                                        DesignCaption(i));
    }

    // Below the client area: it holds the decoded photo and is never seen.
    Image1 = Make<QLabel>(this, QStringLiteral("Image1"), 120, 4410, 720, 585);
    Image1->setProperty(kControlKind, kImage);

    setTabOrder(txtSubjectPic, PushButton1);
    setTabOrder(PushButton1, Check1);
    setTabOrder(Check1, Text1);
    setTabOrder(Text1, Option1[0]);
    setTabOrder(Option1[0], Option1[1]);
    setTabOrder(Option1[1], Option1[2]);
    setTabOrder(Option1[2], Option1[3]);
    setTabOrder(Option1[3], Option1[5]);
    setTabOrder(Option1[5], Option1[4]);
    setTabOrder(Option1[4], PushButton6);
    setTabOrder(PushButton6, PushButton2);
    setTabOrder(PushButton2, PushButton3);

    // A value set by code runs the same handler as a user's change.
    connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    connect(txtSubjectPic, &QLineEdit::textChanged, this, [this] { txtSubjectPic_Change(); });
    connect(Check1, &QCheckBox::toggled, this, [this] { Check1_Click(); });
    for (int i = 0; i < 6; ++i)
        connect(Option1[i], &QRadioButton::toggled, this, [this, i] { Option1_Click(i); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    // A photo may be dropped anywhere on the window, or pasted with the
    // focus anywhere but in the message.
    setAcceptDrops(true);
    Text1->installEventFilter(this);
    connect(new QShortcut(QKeySequence::Paste, this), &QShortcut::activated, this, [this] { PastePhoto(); });
    // Return in the message makes the card, as the button under it does.
    connect(Text1, &QLineEdit::returnPressed, PushButton6, &QPushButton::click);
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });

    txtSubjectPic->installEventFilter(this);
    setMouseTracking(true);
    for (QWidget* w : std::initializer_list<QWidget*>{PushButton1, PushButton2, PushButton3, PushButton6, Frame1,
                                                      Frame2, Frame3, Label3, Text1, txtSubjectPic}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
}

void Form1::Form_Load()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("Form_Load"));
    s(100, [&] { ApplySkinIfPresent(*this, SkinFramework1, svc_.appFolder); });
    s(104, [&] {
        setWindowTitle(config::kProductTitle);
        setWindowIcon(AppIcon());
        appTitle_ = ApplicationTitle(config::kProductTitle);
    });
    const QString handPath = JoinPath(svc_.appFolder, QStringLiteral("HAND-M.CUR"));
    bool handExists = false;
    s(122, [&] { handExists = FileExists(handPath); });
    if (handExists) s(124, [&] { hand_ = LoadCursorFile(handPath); });
    s(126, [&] { MaybeOpenMakerSite(svc_.drawMakerSite, svc_.openUrl); });
    s(128, [&] { Text1->setText(svc_.settings->GetSetting(QStringLiteral("Text1"))); });
    s(130, [&] { txtSubjectPic->setText(svc_.settings->GetSetting(QStringLiteral("txtSubjectPic"))); });
    s(132, [&] {
        const int state = CIntText(svc_.settings->GetSetting(QStringLiteral("UseDefPic"), QStringLiteral("0")));
        if (state != 0 && state != 1) throw AppError(apperr::kInvalidPropertyValue);
        Check1->setChecked(state == 1);
    });
    int n = 0;
    s(134, [&] { n = CIntText(svc_.settings->GetSetting(QStringLiteral("OptTemplate"), QStringLiteral("0"))); });
    bool select = false;
    s(136, [&] { select = n >= 0; });
    if (select) s(138, [&] { Option1At(n)->setChecked(true); });

    bool hasPath = false;
    s(140, [&] { hasPath = !txtSubjectPic->text().isEmpty(); });
    if (hasPath) {
        bool exists = false;
        s(142, [&] { exists = FileExists(txtSubjectPic->text()); });
        if (exists)
            s(144, [&] { showPicture(txtSubjectPic->text()); });
        else
            s(146, [&] {
                svc_.modal->message(QStringLiteral("Photo file does not exist."), appTitle_, MsgButtons::Ok,
                                    MsgIcon::None);
            });
    }
    bool ticked = false;
    s(148, [&] { ticked = Check1->isChecked(); });
    if (!ticked) {
        s(150, [&] { PushButton1->setEnabled(true); });
    } else {
        s(152, [&] { txtSubjectPic->setText(QString()); });
        s(154, [&] { Image1->clear(); });
    }
    s(156, [&] { CheckWordInstance(*svc_.engine, *svc_.modal, appTitle_, svc_.endApplication); });
}

void Form1::ShowCentred()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    activateWindow();
    txtSubjectPic->setFocus(Qt::OtherFocusReason);
    txtSubjectPic_GotFocus();
}

void Form1::setMousePointer(MousePointer p)
{
    if (p == pointer_ && testAttribute(Qt::WA_SetCursor)) return;
    pointer_ = p;
    const QCursor cursor = CursorFor(p, hand_);
    setCursor(cursor);
    // Text boxes keep their text cursor unless the hourglass is up.
    for (QLineEdit* edit : {txtSubjectPic, Text1}) {
        if (p == MousePointer::Hourglass) edit->setCursor(cursor);
        else edit->setCursor(Qt::IBeamCursor);
    }
}

QRadioButton* Form1::Option1At(int index) const
{
    if (index < 0 || index >= int(Option1.size())) throw AppError(apperr::noSuchControl(index));
    return Option1[size_t(index)];
}

int Form1::DesignIndex()
{
    int design = 0;
    for (int i = 0; i < int(Option1.size()); ++i)
        if (Option1[size_t(i)]->isChecked()) design = i;
    return design;
}

void Form1::Text1_Change()
{
    svc_.settings->SaveSetting(QStringLiteral("Text1"), Text1->text());
}

void Form1::txtSubjectPic_Change()
{
    // A link to a file, pasted or dropped as text, stands for its path.
    if (const QString text = txtSubjectPic->text(); text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        QMimeData link;
        link.setText(text);
        if (const QString path = LocalPhotoPath(link); !path.isEmpty()) {
            txtSubjectPic->setText(path);  // runs this handler again, with the path
            return;
        }
    }
    svc_.settings->SaveSetting(QStringLiteral("txtSubjectPic"), txtSubjectPic->text());
}

void Form1::txtSubjectPic_GotFocus()
{
    txtSubjectPic->setSelection(0, int(txtSubjectPic->text().size()));
}

void Form1::Check1_Click()
{
    if (Check1->isChecked()) {
        txtSubjectPic->setText(QString());
        Image1->clear();
    }
    svc_.settings->SaveSetting(QStringLiteral("UseDefPic"), Check1->isChecked() ? QStringLiteral("1")
                                                                                 : QStringLiteral("0"));
}

void Form1::Option1_Click(int index)
{
    if (Option1[size_t(index)]->isChecked())
        svc_.settings->SaveSetting(QStringLiteral("OptTemplate"), QString::number(index));
}

void Form1::PushButton1_Click()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("PushButton1_Click"));
    s(100, [&] { CommonDialog1.FileName = QString(); });
    s(102, [&] { CommonDialog1.DialogTitle = kPhotoTitle; });
    s(104, [&] { CommonDialog1.Filter = kPhotoFilter; });
    s(106, [&] { CommonDialog1.ShowOpen(*svc_.modal); });
    bool cancelled = true;
    s(108, [&] { cancelled = CommonDialog1.FileName.isEmpty(); });
    if (cancelled) return;
    s(110, [&] { txtSubjectPic->setText(CommonDialog1.FileName); });
    s(112, [&] { showPicture(CommonDialog1.FileName); });
}

void Form1::takePhoto(Steps& s, const QMimeData& data)
{
    QString path;
    s(100, [&] {
        path = LocalPhotoPath(data);
        if (path.isEmpty()) path = KeepPastedPicture(qvariant_cast<QImage>(data.imageData()), PastedPhotoFolder());
    });
    if (path.isEmpty()) return;
    s(102, [&] { txtSubjectPic->setText(path); });
    s(104, [&] { showPicture(path); });
}

bool Form1::GivesPhoto(const QMimeData& data)
{
    return !LocalPhotoPath(data).isEmpty() || data.hasImage();
}

void Form1::Form_OLEDragDrop(const QMimeData& data)
{
    Steps s(*svc_.modal, kForm, QStringLiteral("Form_OLEDragDrop"));
    takePhoto(s, data);
}

bool Form1::PastePhoto()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !GivesPhoto(*data)) return false;
    Steps s(*svc_.modal, kForm, QStringLiteral("PastePhoto"));
    takePhoto(s, *data);
    return true;
}

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    if (GivesPhoto(*event->mimeData())) event->acceptProposedAction();
}

void Form1::dragMoveEvent(QDragMoveEvent* event)
{
    if (GivesPhoto(*event->mimeData())) event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event)
{
    event->acceptProposedAction();
    Form_OLEDragDrop(*event->mimeData());
}

void Form1::PushButton2_Click()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("PushButton2_Click"));
    s(100, [&] { txtSubjectPic->setText(QString()); });
    s(102, [&] { Text1->setText(QString()); });
    s(104, [&] { Check1->setChecked(true); });
}

void Form1::PushButton3_Click()
{
    Steps s(*svc_.modal, kForm, QStringLiteral("PushButton3_Click"));
    s(100, [&] { txtSubjectPic->setText(JoinPath(svc_.appFolder, QStringLiteral("Samples/sample1.jpg"))); });
    s(102, [&] { Text1->setText(QStringLiteral("Dude!")); });
}

namespace {
// The preview window as the run sees it; the first reference creates it.
class PreviewPort : public RunPreview {
public:
    explicit PreviewPort(Form1& main) : main_(main) {}
    void SetPicture(const QImage& picture) override
    {
        Form2& preview = main_.Preview();
        preview.SetPicture(picture);
        // A reader says which card the picture is: the run made it from these.
        if (picture.isNull()) preview.DescribeCard(QString(), QString());
        else preview.DescribeCard(DesignCaption(main_.DesignIndex()).trimmed(), main_.Message());
    }
    void SetWordFile(const QString& path) override { main_.Preview().mWordFile = path; }
    void Show() override { main_.Preview().show(); }

private:
    Form1& main_;
};

}  // namespace

Form1::~Form1() = default;

void Form1::PushButton6_Click()
{
    // What the user types and clicks while the run blocks the window is
    // discarded, not delivered afterwards: a second press would otherwise
    // start a second card, or act on whatever has the focus by then. The
    // button itself stays as it is, and so does the focus.
    BusyInputGuard guard;
    BusyInputGuard* const outer = std::exchange(busyInput_, &guard);
    PreviewPort preview(*this);
    GenerationRun run(*svc_.engine, *svc_.modal, *this, preview, appTitle_,
                      svc_.cardDigit ? svc_.cardDigit : std::function<int()>(RandomDigit));
    run.PushButton6_Click(mBusy);
    busyInput_ = outer;
}

PictureFit Form1::PreviewFit()
{
    return {Form2::ViewportInnerTwips(), ScreenDpi()};
}

void Form1::SaveDocAsJPG(const QString& inFile)
{
    marigal::SaveDocAsJPG(*svc_.engine, *svc_.modal, inFile, PreviewFit());
}

Form2& Form1::Preview()
{
    if (!form2_) {
        Form2Services services;
        services.modal = svc_.modal;
        services.appFolder = svc_.appFolder;
        services.showMainWindow = [this] {
            show();
            activateWindow();  // back to where the user typed, keys and all
        };
        services.endApplication = svc_.endApplication;
        services.cardHasPhoto = [this] { return FileExists(PhotoPath()); };
        services.wholePhoto = [this] { return Fit() == PhotoFit::Whole; };
        services.remakeCard = [this](bool whole) {
            svc_.settings->SaveSetting(QStringLiteral("PhotoFit"), PhotoFitName(whole ? PhotoFit::Whole : PhotoFit::Fill));
            PushButton6_Click();
        };
        form2_ = std::make_unique<Form2>(services);
        form2_->Form_Load();
    }
    return *form2_;
}

PhotoFit Form1::Fit()
{
    PhotoFit fit = PhotoFit::Fill;
    PhotoFitNamed(svc_.settings->GetSetting(QStringLiteral("PhotoFit"), PhotoFitName(fit)), &fit);
    return fit;
}

QString Form1::PhotoPath()
{
    return txtSubjectPic->text();
}

QString Form1::Message()
{
    return Text1->text();
}

void Form1::SetPointer(MousePointer pointer)
{
    setMousePointer(pointer);
    // Shown before the long calls that follow block the window.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Form1::DrainInput()
{
    if (busyInput_) busyInput_->drain();
}

void Form1::Form_Unload()
{
    if (svc_.endApplication) svc_.endApplication();
}

void Form1::showPicture(const QString& path)
{
    // Nothing shows this holder; a small copy is all it needs, and only as
    // many of the photo's pixels are decoded.
    const QImage image = LoadPicture(path, Image1->size());
    Image1->setPixmap(QPixmap::fromImage(
        image.scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    const bool field = watched == txtSubjectPic || watched == Text1;
    // What is dragged over a field is the photo's, not the text's: on the
    // photo field anything that names a photo, on the message links and
    // pictures (text is dropped as text there).
    const auto photosOnly = [&](const QMimeData& data) {
        return watched == txtSubjectPic ? GivesPhoto(data) : data.hasUrls() || data.hasImage();
    };
    if (field && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove)) {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (photosOnly(*drag->mimeData())) {
            if (GivesPhoto(*drag->mimeData())) drag->acceptProposedAction();
            else drag->ignore();
            return true;
        }
    } else if (field && event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (photosOnly(*drop->mimeData()) && GivesPhoto(*drop->mimeData())) {
            drop->acceptProposedAction();
            Form_OLEDragDrop(*drop->mimeData());
            return true;
        }
    } else if (field && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) {
        // Into the photo field any photo; into the message only a picture
        // that carries no text.
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (data && (watched == txtSubjectPic || (data->hasImage() && !data->hasText())) && PastePhoto()) return true;
    } else if (watched == txtSubjectPic && event->type() == QEvent::FocusIn) {
        txtSubjectPic_GotFocus();
    } else if (const auto pointer =
                   PointerForMove(watched, event, {PushButton1, PushButton2, PushButton3, PushButton6}, pointer_)) {
        setMousePointer(*pointer);
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::mouseMoveEvent(QMouseEvent* event)
{
    if (MovedOnItself(this, event)) setMousePointer(PointerOverBackground(pointer_));
    QWidget::mouseMoveEvent(event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    Form_Unload();
}

}  // namespace marigal
