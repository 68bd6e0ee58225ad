#pragma once
// The main window: the four inputs of a card, kept in the settings store the
// moment they change, and the action buttons.

#include "cardgen/generation_run.h"
#include "cardgen/page_export.h"
#include "common/modal.h"
#include "common/steps.h"
#include "common/settings.h"
#include "common/widgets/busy_input.h"
#include "common/widgets/look.h"
#include "common/widgets/pointer.h"
#include "engine/backend.h"

#include <QWidget>

#include <array>
#include <memory>
#include <functional>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QPushButton;
class QRadioButton;

namespace marigal {

// What the main window needs from the outside world; tests pass their own.
struct Form1Services {
    Modal* modal = nullptr;
    SettingsStore* settings = nullptr;
    engine::Backend* engine = nullptr;
    QString appFolder;
    std::function<int()> drawMakerSite;                 // 1..100
    std::function<void(const QString&)> openUrl;        // the maker's site
    std::function<void()> endApplication;               // ends the program at once
    std::function<int()> cardDigit;                     // card name digits; empty: random
};

class Form2;

class Form1 : public QWidget, public RunWindow {
    Q_OBJECT
public:
    explicit Form1(Form1Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up, before the window is first shown.
    void Form_Load();
    // Shows the window centred on the screen with the photo path focused.
    void ShowCentred();

    MousePointer mousePointer() const { return pointer_; }
    void setMousePointer(MousePointer p);
    const std::optional<QCursor>& handCursor() const { return hand_; }
    const QString& applicationTitle() const { return appTitle_; }

    // The option at `index`; raises for an index outside 0..5.
    QRadioButton* Option1At(int index) const;
    // The index of the selected design: the last selected option, or 0.
    int DesignIndex() override;

    // Handlers.
    void Text1_Change();
    void txtSubjectPic_Change();
    void txtSubjectPic_GotFocus();
    void Check1_Click();
    void Option1_Click(int index);
    // A photo dropped on the window (a file, or a picture's data): into the
    // photo field, through its change handler, as the dialog's choice goes.
    void Form_OLEDragDrop(const QMimeData& data);
    // Ctrl+V of a copied file, a link to one or a picture's data into the
    // photo field; false when the clipboard holds no photo (text is then
    // pasted as text).
    bool PastePhoto();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void Form_Unload();

    // Controls, by their kind-and-number names.
    QPushButton* PushButton6;
    QPushButton* PushButton2;
    QPushButton* PushButton3;
    QGroupBox* Frame2;
    QLabel* Label3;
    QLineEdit* txtSubjectPic;
    QPushButton* PushButton1;
    QCheckBox* Check1;
    QGroupBox* Frame3;
    QLineEdit* Text1;
    QGroupBox* Frame1;
    std::array<QRadioButton*, 6> Option1;
    QLabel* Image1;
    CommonDialog CommonDialog1;
    SkinFramework SkinFramework1;

    // The start button: the generation run.
    void PushButton6_Click();
    // Renders the card document to the working folder's "temp.bmp".
    void SaveDocAsJPG(const QString& inFile) override;
    // Where the preview shows the card's picture, and so how finely the
    // picture is worth drawing.
    static PictureFit PreviewFit();
    // The preview window; the first reference creates it.
    Form2& Preview();
    bool PreviewLoaded() const { return form2_ != nullptr; }

    // The main window as the generation run sees it.
    QString PhotoPath() override;
    QString Message() override;
    // As the preview's menu last chose it (setting "PhotoFit"): filling the
    // frames unless "Show the whole photo" was chosen.
    PhotoFit Fit() override;
    void SetPointer(MousePointer pointer) override;
    void Hide() override { hide(); }
    void DrainInput() override;

    bool mBusy = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    // What assistive technology reads for each control (form1_names.cpp).
    void setAccessibleNames();
    void showPicture(const QString& path);
    // The photo field takes the photo `data` names or holds, as the
    // dialog's choice.
    void takePhoto(Steps& s, const QMimeData& data);
    // Whether dragged or pasted data gives a photo: a local file or a picture.
    static bool GivesPhoto(const QMimeData& data);

    Form1Services svc_;
    std::unique_ptr<Form2> form2_;
    BusyInputGuard* busyInput_ = nullptr;  // while a run blocks the window
    MousePointer pointer_ = MousePointer::Default;
    std::optional<QCursor> hand_;
    QString appTitle_;
};

}  // namespace marigal
