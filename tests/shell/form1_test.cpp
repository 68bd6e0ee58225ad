// The main window: its layout, its start-up and what it keeps between runs.

#include "cardgen/availability.h"
#include "common/config.h"
#include "common/errors.h"
#include "common/steps.h"
#include "common/widgets/look.h"
#include "preview/form2.h"
#include "tests/shell/form1_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <sys/stat.h>

#include <cmath>

using namespace marigal;
using marigal::test::Form1Test;

namespace {
QString Box(const QString& description, int line)
{
    return ErrorBoxText(description, "Form1", "Form_Load", line);
}
}  // namespace

TEST_F(Form1Test, LayoutFollowsTheTwipTable)
{
    Form1& f = make();
    const auto px = [](int twips) { return Px(twips); };
    EXPECT_EQ(f.size(), QSize(px(8040), px(4395)));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());  // fixed border
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(f.PushButton6->geometry(), QRect(px(120), px(120), px(7800), px(405)));
    EXPECT_EQ(f.PushButton3->geometry(), QRect(px(4080), px(630), px(3840), px(405)));
    EXPECT_EQ(f.txtSubjectPic->parentWidget(), f.Frame2);
    EXPECT_EQ(f.txtSubjectPic->geometry(), QRect(px(1800), px(300), px(5055), px(345)));
    EXPECT_EQ(f.Option1[5]->geometry(), QRect(px(240), px(650), px(2175), px(255)));
    EXPECT_GE(f.Image1->y(), f.height());  // below the visible area

    EXPECT_EQ(f.PushButton6->text(), "Start Creating Template");
    EXPECT_EQ(f.PushButton2->text(), "Clear/Reset Data");
    EXPECT_EQ(f.PushButton3->text(), "Load Sample/Example Data");
    EXPECT_EQ(f.Label3->text(), "User-specificed:");
    EXPECT_EQ(f.Check1->text(), "Use default picture included with card instead of user-specified");
    EXPECT_EQ(f.Frame1->title(), "Select Template");
    const QStringList captions{"Photo Greeting Card", "Clouds", "Hearts", "Meadow", "Flowers", " Yellow Flower"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(f.Option1[i]->text(), captions[i]);

    EXPECT_EQ(f.font().family(), "Arial");
    EXPECT_TRUE(f.Text1->font().bold());
    EXPECT_DOUBLE_EQ(f.PushButton6->font().pointSizeF(), 11.25);
    EXPECT_EQ(BackColor(f), QColor(Qt::white));

    // Tab order: photo path, browse, box, message, designs, then the buttons.
    const std::vector<QWidget*> chain{f.txtSubjectPic, f.PushButton1, f.Check1,     f.Text1,
                                      f.Option1[0],    f.Option1[1],  f.Option1[2], f.Option1[3],
                                      f.Option1[5],    f.Option1[4],  f.PushButton6, f.PushButton2,
                                      f.PushButton3};
    const auto nextStop = [](QWidget* w) {
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    for (size_t i = 0; i + 1 < chain.size(); ++i)
        EXPECT_EQ(nextStop(chain[i]), chain[i + 1]) << i;
}

TEST_F(Form1Test, FirstStartWithAnEmptyStore)
{
    Form1& f = load();
    EXPECT_EQ(f.Text1->text(), "");
    EXPECT_EQ(f.txtSubjectPic->text(), "");
    EXPECT_FALSE(f.Check1->isChecked());
    EXPECT_TRUE(f.Option1[0]->isChecked());
    EXPECT_TRUE(f.PushButton1->isEnabled());
    EXPECT_EQ(stored("OptTemplate"), "0");
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(f.windowTitle(), "Marigal");
    EXPECT_EQ(f.applicationTitle(), "Marigal");
    // The availability check started an instance and quit it.
    EXPECT_EQ(engine.calls(), (QStringList{"CreateObject(\"Word.Application\")", "Quit()"}));
    EXPECT_EQ(engine.running(), 0);
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(Form1Test, RestoresEveryStoredInput)
{
    const QString jpeg = photo();
    store("Text1", "Happy birthday, Grandma!");
    store("txtSubjectPic", jpeg);
    store("UseDefPic", "0");
    store("OptTemplate", "3");
    Form1& f = load();
    EXPECT_EQ(f.Text1->text(), "Happy birthday, Grandma!");
    EXPECT_EQ(f.txtSubjectPic->text(), jpeg);
    EXPECT_FALSE(f.Check1->isChecked());
    EXPECT_TRUE(f.Option1[3]->isChecked());
    EXPECT_EQ(f.DesignIndex(), 3);
    EXPECT_FALSE(f.Image1->pixmap().isNull());  // decoded
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(stored("Text1"), "Happy birthday, Grandma!");
    EXPECT_EQ(stored("OptTemplate"), "3");
}

TEST_F(Form1Test, ALongStoredMessageIsNeitherCutNorSavedBackCut)
{
    // Far past a text box's usual 32,767 characters.
    const QString longMessage = QString("Dear all, ").repeated(99999);
    store("Text1", longMessage);
    Form1& f = load();
    EXPECT_EQ(f.Text1->text().size(), longMessage.size());
    EXPECT_TRUE(stored("Text1") == longMessage);
    f.Text1->setFocus();
    f.Text1->end(false);
    QTest::keyClick(f.Text1, Qt::Key_Exclam, Qt::ShiftModifier);
    EXPECT_EQ(stored("Text1").size(), longMessage.size() + 1);
    EXPECT_TRUE(stored("Text1").endsWith("Dear all, !"));
}

TEST_F(Form1Test, EveryKeystrokeIsOnDiskAtOnce)
{
    Form1& f = load();
    f.Text1->setFocus();
    QTest::keyClicks(f.Text1, "Hi Bob");
    // Another store on the same file, as the next start would read it.
    EXPECT_EQ(stored("Text1"), "Hi Bob");
    QTest::keyClick(f.Text1, Qt::Key_Backspace);
    EXPECT_EQ(stored("Text1"), "Hi Bo");
    f.txtSubjectPic->setText("/home/me/x.jpg");
    EXPECT_EQ(stored("txtSubjectPic"), "/home/me/x.jpg");
    f.Option1[4]->setChecked(true);
    EXPECT_EQ(stored("OptTemplate"), "4");

    form.reset();
    modal.messages.clear();
    Form1& next = load();
    EXPECT_EQ(next.Text1->text(), "Hi Bo");
    EXPECT_TRUE(next.Option1[4]->isChecked());
}

TEST_F(Form1Test, StoredPhotoThatIsGoneIsReportedOnceAndKept)
{
    const QString gone = dir.filePath("gone.jpg");
    store("txtSubjectPic", gone);
    Form1& f = load();
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0].text, "Photo file does not exist.");
    EXPECT_EQ(modal.messages[0].caption, "Marigal");
    EXPECT_EQ(modal.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(modal.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(f.txtSubjectPic->text(), gone);
    EXPECT_EQ(stored("txtSubjectPic"), gone);
}

TEST_F(Form1Test, TickedBoxEmptiesTheStoredPath)
{
    store("txtSubjectPic", dir.filePath("gone.jpg"));
    store("UseDefPic", "1");
    Form1& f = load();
    // Restoring the ticked box runs its click handling, which empties the
    // path before it is tested: nothing to report about a path that goes.
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_TRUE(f.Check1->isChecked());
    EXPECT_EQ(f.txtSubjectPic->text(), "");
    EXPECT_EQ(stored("txtSubjectPic"), "");
    EXPECT_EQ(stored("UseDefPic"), "1");
    EXPECT_TRUE(f.Image1->pixmap().isNull());
}

TEST_F(Form1Test, BadStoredValuesAreReportedAtTheirStep)
{
    struct Case {
        QString useDefPic, optTemplate;
        std::vector<QString> boxes;
        int selected;  // -1: none
    };
    const std::vector<Case> cases{
        {"x", "2", {Box(apperr::kTypeMismatch, 132)}, 2},
        {"5", "2", {Box(apperr::kInvalidPropertyValue, 132)}, 2},
        {"0", "x", {Box(apperr::kTypeMismatch, 134)}, 0},
        {"0", "7", {Box("Control array element '7' doesn't exist", 138)}, -1},
        {"0", "-1", {}, -1},
        {"0", "99999", {Box(apperr::kOverflow, 134)}, 0},
    };
    for (const Case& c : cases) {
        QFile::remove(ini);
        modal.messages.clear();
        store("UseDefPic", c.useDefPic);
        store("OptTemplate", c.optTemplate);
        Form1& f = load();
        EXPECT_EQ(modal.errorBoxes(), c.boxes) << c.useDefPic.toStdString() << "/" << c.optTemplate.toStdString();
        EXPECT_FALSE(f.Check1->isChecked());
        for (int i = 0; i < 6; ++i) EXPECT_EQ(f.Option1[i]->isChecked(), i == c.selected) << i;
        EXPECT_EQ(f.DesignIndex(), c.selected < 0 ? 0 : c.selected);
    }
}

TEST_F(Form1Test, StoredPhotoThatIsNoPictureIsReportedAt144)
{
    // Text, a named pipe nobody writes to, a device that never ends: each is
    // reported, and none may keep the program from starting.
    const QString fifo = dir.filePath("pipe.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {test::WriteFile(dir.filePath("notes.jpg"), "this is not a picture"), fifo,
                                QStringLiteral("/dev/zero")}) {
        SCOPED_TRACE(path.toStdString());
        modal.messages.clear();
        store("txtSubjectPic", path);
        Form1& f = load();
        EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{Box(apperr::kInvalidPicture, 144)});
        EXPECT_EQ(f.txtSubjectPic->text(), path);
    }
}

TEST_F(Form1Test, StoredPhotoOfAPhonesFullSizeIsTaken)
{
    // 8000 x 6000, as phones take them: past the picture library's default
    // decoding limit, which refused it.
    QImage big(8000, 6000, QImage::Format_RGB888);
    big.fill(QColor(200, 120, 40));
    const QString path = dir.filePath("phone.jpg");
    ASSERT_TRUE(big.save(path, "JPG", 80));
    big = QImage();
    store("txtSubjectPic", path);
    Form1& f = load();
    EXPECT_TRUE(modal.errorBoxes().empty()) << modal.errorBoxes().front().toStdString();
    EXPECT_FALSE(f.Image1->pixmap().isNull());
}

TEST_F(Form1Test, HandPointerFromTheApplicationFolder)
{
    {
        Form1& f = load();  // no cursor file: no error, the platform's hand stands in
        EXPECT_FALSE(f.handCursor().has_value());
        EXPECT_TRUE(modal.messages.empty());
    }
    QImage hand(32, 32, QImage::Format_ARGB32);
    hand.fill(QColor(240, 200, 160));
    test::WriteFile(appFolder + "/HAND-M.CUR", EncodeCursorFile(hand, QPoint(5, 1)));
    {
        Form1& f = load();
        ASSERT_TRUE(f.handCursor().has_value());
        EXPECT_EQ(f.handCursor()->hotSpot(), QPoint(5, 1));
    }
    test::WriteFile(appFolder + "/HAND-M.CUR", "garbage");
    {
        Form1& f = load();
        EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{Box(apperr::kInvalidPicture, 124)});
        EXPECT_FALSE(f.handCursor().has_value());
    }
}

TEST_F(Form1Test, MakerSiteOpensOnTheLuckyDraw)
{
    draw = 7;
    load();
    EXPECT_EQ(opened, QStringList{config::kMakerSite});
}

TEST_F(Form1Test, NoOfficeMeansTheMessageAndTheEnd)
{
    engine.failCreate = true;
    load();
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0].text, WordUnavailableMessage());
    EXPECT_EQ(modal.messages[0].caption, "Marigal");
    EXPECT_EQ(modal.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(modal.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(WordUnavailableMessage().count("\n\n"), 4);
    EXPECT_TRUE(WordUnavailableMessage().startsWith(
        "Error 842001. A normal instance of Word could not be created.\n\n1. Please make sure"));
}

TEST_F(Form1Test, ClosingTheWindowEndsTheApplication)
{
    Form1& f = load();
    f.show();
    f.close();
    EXPECT_EQ(ended, 1);
}

namespace {
double Luminance(QRgb c)
{
    const auto lin = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c));
}

// The contrast of a caption as drawn: between the darkest and the lightest
// pixel of its control in the window's picture.
double DrawnContrast(const QImage& window, const QRect& where)
{
    double lo = 1, hi = 0;
    for (int y = where.top(); y <= where.bottom(); ++y)
        for (int x = where.left(); x <= where.right(); ++x) {
            const double l = Luminance(window.pixel(x, y));
            lo = std::min(lo, l);
            hi = std::max(hi, l);
        }
    return (hi + 0.05) / (lo + 0.05);
}

void ExpectReadableCaptions(QWidget& window)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage drawn = window.grab().toImage();
    const double scale = drawn.devicePixelRatio();
    int captions = 0;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        QString caption;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) caption = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w)) caption = l->text();
        else if (auto* e = qobject_cast<QLineEdit*>(w)) caption = e->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w)) caption = g->title();
        if (caption.trimmed().isEmpty() || !w->isVisibleTo(&window)) continue;
        QRect r(w->mapTo(&window, QPoint(0, 0)), w->size());
        if (qobject_cast<QGroupBox*>(w)) r.setHeight(w->fontMetrics().height());  // its title, above its controls
        r = QRect((r.topLeft() * scale), (r.size() * scale)).intersected(drawn.rect());
        EXPECT_GE(DrawnContrast(drawn, r), 4.5) << w->objectName().toStdString() << ": " << caption.toStdString();
        ++captions;
    }
    EXPECT_GE(captions, 4);
}
}  // namespace

// Under a dark desktop theme both windows keep one palette: their captions
// are drawn dark on light, none light on their white surfaces.
TEST_F(Form1Test, CaptionsStayReadableUnderADarkTheme)
{
    const QPalette desktop = QApplication::palette();
    QPalette dark(QColor(Qt::white), QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::Text, Qt::white);
    QApplication::setPalette(dark);
    struct Restore {
        QPalette p;
        ~Restore() { QApplication::setPalette(p); }
    } restore{desktop};

    Form1& f = load();
    f.Text1->setText(QStringLiteral("Happy birthday"));
    ExpectReadableCaptions(f);

    Form2Services svc;
    svc.modal = &modal;
    svc.appFolder = appFolder;
    svc.showMainWindow = [] {};
    svc.endApplication = [] {};
    Form2 preview(svc);
    preview.Form_Load();
    QImage card(700, 500, QImage::Format_RGB32);
    card.fill(Qt::white);
    preview.SetPicture(card);
    ExpectReadableCaptions(preview);
    EXPECT_EQ(modal.errorBoxes(), std::vector<QString>{});
}
