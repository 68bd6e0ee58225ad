#pragma once
// The modal interface as the desktop shows it: Qt's message boxes and file dialogs.

#include "common/modal.h"

class QWidget;

namespace marigal {

// The real dialogs, shown over `parent` (the active window when null).
class QtModal : public Modal {
public:
    explicit QtModal(QWidget* parent = nullptr) : parent_(parent) {}
    MsgResult message(const QString& text, const QString& caption, MsgButtons buttons,
                      MsgIcon icon) override;
    QString openFile(const QString& fileName, const QString& title, const QString& filter) override;
    QString saveFile(const QString& fileName, const QString& title, const QString& filter, int& filterIndex) override;

private:
    QString fileDialog(bool save, const QString& fileName, const QString& title, const QString& filter,
                       int* filterIndex);
    QWidget* parent_;
};

}  // namespace marigal
