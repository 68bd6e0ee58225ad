#pragma once
// A handler that does the application's work runs as numbered steps. Each
// step traps any error, shows the common error box naming the form, the
// handler and the step, and the handler goes on with its next step, so it
// always reaches its end.
//
//   Steps s(modal, "Form1", "Form_Load");
//   s(100, [&] { ApplySkinIfPresent(*this); });
//   s(104, [&] { ... });

#include "common/modal.h"

#include <QString>

#include <functional>

namespace marigal {

// The common error box's text for an error at `line` of form.procedure.
QString ErrorBoxText(const QString& description, const QString& form, const QString& procedure, int line);

// Shows the common error box.
void ShowErrorBox(Modal& modal, const QString& text);

class Steps {
public:
    Steps(Modal& modal, QString form, QString procedure)
        : modal_(modal), form_(std::move(form)), procedure_(std::move(procedure)) {}

    // Runs one step; returns false when it failed (after the box was shown).
    bool operator()(int line, const std::function<void()>& body);

    // Line of the step that ran last, as the box would report it.
    int line() const { return line_; }

private:
    Modal& modal_;
    QString form_;
    QString procedure_;
    int line_ = 0;
};

}  // namespace marigal
