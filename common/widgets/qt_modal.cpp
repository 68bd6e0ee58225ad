#include "common/widgets/qt_modal.h"

#include "common/widgets/look.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace marigal {

MsgResult QtModal::message(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    QMessageBox box(parent_ ? parent_ : QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    ApplyDialogSkin(box);
    // A box shown while a run holds the hourglass must still show a usable pointer.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int r = box.exec();
    QApplication::restoreOverrideCursor();
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    return r == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
}

QString QtModal::fileDialog(bool save, const QString& fileName, const QString& title, const QString& filter,
                            int* filterIndex)
{
    QFileDialog dialog(parent_ ? parent_ : QApplication::activeWindow(), title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOptions(QFileDialog::HideNameFilterDetails | QFileDialog::DontConfirmOverwrite);
    const QStringList filters = DialogNameFilters(filter);
    dialog.setNameFilters(filters);
    if (filterIndex && *filterIndex >= 1 && *filterIndex <= filters.size())
        dialog.selectNameFilter(filters[*filterIndex - 1]);
    if (!fileName.isEmpty()) dialog.selectFile(fileName);
    ApplyDialogSkin(dialog);
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    QApplication::restoreOverrideCursor();
    if (!accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    if (filterIndex) *filterIndex = ChosenFilterEntry(filters, dialog.selectedNameFilter(), chosen);
    return chosen;
}

QString QtModal::openFile(const QString& fileName, const QString& title, const QString& filter)
{
    return fileDialog(false, fileName, title, filter, nullptr);
}

QString QtModal::saveFile(const QString& fileName, const QString& title, const QString& filter, int& filterIndex)
{
    return fileDialog(true, fileName, title, filter, &filterIndex);
}

}  // namespace marigal
