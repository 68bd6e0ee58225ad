#pragma once
// The preview window: shows the rendered card, lets the user zoom and pan it,
// save the card document, or go back to the main window. From the hand-over
// on it owns the card document and deletes it on "< Back" and on closing.

#include "common/modal.h"
#include "common/widgets/look.h"
#include "common/widgets/pointer.h"
#include "preview/zoom.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QWheelEvent;

namespace marigal {

// What the preview window needs from the outside world; tests pass their own.
struct Form2Services {
    Modal* modal = nullptr;
    QString appFolder;
    std::function<void()> showMainWindow;
    std::function<void()> endApplication;  // ends the program at once
    // The photo on the card: whether there is one, how it takes its frames,
    // and the card made again with it taking them the other way (the card
    // handed over anew when it is made). Left empty: no such choice.
    std::function<bool()> cardHasPhoto;
    std::function<bool()> wholePhoto;
    std::function<void(bool whole)> remakeCard;
};

class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(Form2Services services, QWidget* parent = nullptr);
    ~Form2() override;

    // Once, when the window is created, before anything is handed over.
    void Form_Load();

    // The hand-over: the card's picture goes into the image box at its
    // natural size (pixels / the resolution it records x 1440 twips).
    void SetPicture(const QImage& picture);
    // With the hand-over: the card picture's description for assistive
    // technology, from the card's design and message; no design, no card.
    void DescribeCard(const QString& design, const QString& message);
    // The natural size in twips of a picture, from the resolution it records
    // (96 dots per inch when it records none).
    static QSizeF NaturalTwips(const QImage& picture);
    // The viewport's visible area in twips, inside its sunken border: a card
    // picture whose natural size fits it shows whole at zoom 1.0.
    static QSize ViewportInnerTwips();

    MousePointer mousePointer() const { return pointer_; }
    void setMousePointer(MousePointer p);
    const std::optional<QCursor>& handCursor() const { return hand_; }

    // The zoom and pan state, in twips.
    ZoomPan& zoom() { return *zoom_; }

    // Handlers.
    void Form_Activate();
    void Form_QueryUnload();
    void Form_Unload();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton8_Click();
    // Ctrl+0: the card at its own size again (zoom 1.0).
    void ZoomToNaturalSize();
    // Ctrl+P and the Print key: the system's print dialog, then the card's
    // PDF to the chosen printer.
    void PrintCard();
    // The card picture's menu: "Show the whole photo" or "Fill the frame"
    // makes the card again that way; the card it replaces goes once the new
    // one is handed over, and stays when it could not be made.
    void PhotoFit_Click(bool whole);

    // The viewport's visible area, which clips the image box.
    QWidget* ViewportArea() const { return viewArea_; }

    // Controls, by their kind-and-number names.
    QFrame* Picture2;
    QLabel* Picture1;
    QScrollBar* VScroll1;
    QScrollBar* HScroll1;
    QGroupBox* Frame1;
    QPushButton* PushButton1;
    QPushButton* PushButton2;
    QPushButton* PushButton8;
    QPushButton* PushButton6;
    QLabel* Zoom_Ori;
    CommonDialog CommonDialog1;

    QString mWordFile;
    bool mPendingSetup = false;

public slots:
    // "Save Results To Word File".
    void PushButton6_Click();

    // Centres the window on the screen the first time it is shown.
    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    // The card picture's menu, at `globalPos`.
    void ShowCardMenu(const QPoint& globalPos);
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // The arrows and Page Up / Page Down pan the card.
    void keyPressEvent(QKeyEvent* event) override;
    // A window resized on a screen too small for it: see setVisible.
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class Surface;

    void buildControls();
    // Puts the controls where they go in a window `dw` x `dh` pixels larger
    // than built (0 x 0: the twip table).
    void placeControls(int dw, int dh);
    // The viewport's twips with the window `extra` pixels larger than built.
    ViewportTwips viewportTwips(int extraWidth, int extraHeight) const;
    // What assistive technology reads for each control (form2_names.cpp).
    void setAccessibleNames();
    // Puts the controls where the zoom state says they are.
    void SyncFromZoom();
    void ScrollBarMoved(QScrollBar* bar, int value);
    float ToTwips(qreal pixels) const;
    // Moves the card by a key's amount through its scroll bar; false for a
    // key that does not pan.
    bool PanByKey(int key);
    // Ctrl+wheel zooms a quarter step a notch; the wheel alone pans.
    bool WheelOnCard(QWheelEvent* wheel);
    static constexpr float kArrowPanTwips = 600;  // 40 pixels at 96 dpi

    Form2Services svc_;
    MousePointer pointer_ = MousePointer::Default;
    std::optional<QCursor> hand_;
    QWidget* viewArea_ = nullptr;
    QImage picture1Picture_;  // the picture assigned to the image box
    QImage zoomOriPicture_;   // the hidden, unscaled copy
    QSizeF naturalTwips_;     // natural size of the image box's picture
    QSizeF zoomOriTwips_;     // natural size of the hidden copy's picture
    std::unique_ptr<Surface> surface_;
    std::unique_ptr<ZoomPan> zoom_;
    bool activating_ = false;
    bool syncing_ = false;
    bool centred_ = false;
    int wheelTurn_ = 0;
    bool resized_ = false;  // laid out for a size other than its own  // the part of a wheel notch not yet acted on
};

}  // namespace marigal
