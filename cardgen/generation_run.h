#pragma once
// What the start button does: from the user's design, photo and message to a
// filled card document in the working folder, its picture, and the hand-over
// to the preview window. The run talks to the two windows only through the
// two small interfaces below, so it runs in tests without a screen.

#include "common/modal.h"
#include "common/pointer_rule.h"
#include "engine/backend.h"
#include "photo/prepare.h"

#include <QImage>
#include <QString>

#include <functional>

namespace marigal {

// The main window, as the run sees it.
class RunWindow {
public:
    virtual ~RunWindow() = default;
    virtual int DesignIndex() = 0;       // the selected option, or 0
    virtual QString PhotoPath() = 0;     // read afresh at each use
    virtual QString Message() = 0;
    // How the photo takes its frames: filling them (cut around its
    // subject), or whole.
    virtual PhotoFit Fit() { return PhotoFit::Fill; }
    virtual void SetPointer(MousePointer pointer) = 0;  // shown at once
    virtual void SaveDocAsJPG(const QString& inFile) = 0;
    virtual void Hide() = 0;
    // Lets input that arrived while the run blocked the window reach it now,
    // while the run is still busy, so it is ignored.
    virtual void DrainInput() = 0;
};

// The preview window, as the run sees it.
class RunPreview {
public:
    virtual ~RunPreview() = default;
    // The first reference creates the window (its load runs first).
    virtual void SetPicture(const QImage& picture) = 0;
    virtual void SetWordFile(const QString& path) = 0;
    virtual void Show() = 0;
};

// "tamlor" + eight digits 1..9 + ".doc".
QString CardFileName(const std::function<int()>& digit);

// What the window says of a message that does not fit a design even at its
// smallest type.
QString MessageTooLongText(int design);

// Digits 1..9 from a generator seeded once from the system's random source.
int RandomDigit();

class GenerationRun {
public:
    GenerationRun(engine::Backend& backend, Modal& modal, RunWindow& window, RunPreview& preview,
                  QString appTitle, std::function<int()> digit = RandomDigit)
        : backend_(backend), modal_(modal), window_(window), preview_(preview), appTitle_(std::move(appTitle)),
          digit_(std::move(digit)) {}

    // The whole run, steps 100 to 334; `busy` is the window's re-entry flag.
    void PushButton6_Click(bool& busy);

private:
    engine::Backend& backend_;
    Modal& modal_;
    RunWindow& window_;
    RunPreview& preview_;
    QString appTitle_;
    std::function<int()> digit_;
};

}  // namespace marigal
