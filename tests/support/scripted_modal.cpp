#include "tests/support/scripted_modal.h"

namespace marigal::test {

MsgResult ScriptedModal::message(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    messages.push_back({text, caption, buttons, icon});
    if (!messageAnswers.empty()) {
        const MsgResult r = messageAnswers.front();
        messageAnswers.pop_front();
        return r;
    }
    return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
}

QString ScriptedModal::openFile(const QString& fileName, const QString& title, const QString& filter)
{
    dialogs.push_back({false, fileName, title, filter});
    if (fileAnswers.empty()) return {};
    QString r = fileAnswers.front();
    fileAnswers.pop_front();
    return r;
}

QString ScriptedModal::saveFile(const QString& fileName, const QString& title, const QString& filter, int& filterIndex)
{
    dialogs.push_back({true, fileName, title, filter});
    if (!filterAnswers.empty()) {
        filterIndex = filterAnswers.front();
        filterAnswers.pop_front();
    }
    if (fileAnswers.empty()) return {};
    QString r = fileAnswers.front();
    fileAnswers.pop_front();
    return r;
}

std::vector<QString> ScriptedModal::errorBoxes() const
{
    std::vector<QString> boxes;
    for (const ShownMessage& m : messages)
        if (m.caption == QStringLiteral("Application Error")) boxes.push_back(m.text);
    return boxes;
}

}  // namespace marigal::test
