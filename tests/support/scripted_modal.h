#pragma once
// A modal interface that records what would have been shown and answers as
// the test tells it.

#include "common/modal.h"

#include <deque>
#include <vector>

namespace marigal::test {

struct ShownMessage {
    QString text;
    QString caption;
    MsgButtons buttons;
    MsgIcon icon;
};

struct ShownDialog {
    bool save;
    QString fileName;
    QString title;
    QString filter;
};

class ScriptedModal : public Modal {
public:
    MsgResult message(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) override;
    QString openFile(const QString& fileName, const QString& title, const QString& filter) override;
    QString saveFile(const QString& fileName, const QString& title, const QString& filter, int& filterIndex) override;

    // Answers, used in order; when none is left a message answers OK / Yes
    // and a dialog answers "" (cancel).
    std::deque<MsgResult> messageAnswers;
    std::deque<QString> fileAnswers;
    // The filter entry (from 1) a save dialog's user chose; none left: the one shown.
    std::deque<int> filterAnswers;

    std::vector<ShownMessage> messages;
    std::vector<ShownDialog> dialogs;

    // Only the common error boxes, by their text.
    std::vector<QString> errorBoxes() const;
};

}  // namespace marigal::test
