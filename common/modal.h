#pragma once
// Everything modal the application shows goes through this interface, so the
// windows' logic can be driven by tests that answer each box as scripted.

#include <QString>
#include <QStringList>

namespace marigal {

enum class MsgButtons { Ok, YesNo };  // Yes/No has Yes as its default
enum class MsgIcon { None, Exclamation, Information, Critical, Question };
enum class MsgResult { Ok, Yes, No };

class Modal {
public:
    virtual ~Modal() = default;
    virtual MsgResult message(const QString& text, const QString& caption, MsgButtons buttons,
                              MsgIcon icon) = 0;
    // `filter` is in the bar-separated form "Description|*.a;*.b|".
    // Each returns the chosen full path, or "" when the user cancelled.
    virtual QString openFile(const QString& fileName, const QString& title, const QString& filter) = 0;
    // Never asks about overwriting: the caller asks its own question.
    // `filterIndex`, from 1: the filter entry shown first, then the one the
    // user chose.
    virtual QString saveFile(const QString& fileName, const QString& title, const QString& filter,
                             int& filterIndex) = 0;
};

// The file dialog component: set its fields, show it, read the chosen name
// back from FileName ("" when the user cancelled).
struct CommonDialog {
    QString FileName;
    QString DialogTitle;
    QString Filter;
    int FilterIndex = 1;  // from 1, as the dialog counts its filter entries
    void ShowOpen(Modal& modal) { FileName = modal.openFile(FileName, DialogTitle, Filter); }
    void ShowSave(Modal& modal) { FileName = modal.saveFile(FileName, DialogTitle, Filter, FilterIndex); }
};

// The bar-separated filter as the file dialog's name filters. Each entry keeps
// its description as the text the user sees; its patterns also match upper
// case, since a camera names its files "IMG_0001.JPG".
QStringList DialogNameFilters(const QString& barFilter);

// Which of `filters` (from 1) the user chose, from what the dialog reports:
// its full text, the text it showed with the patterns hidden, or, when a
// dialog reports neither, the entry whose patterns the chosen file matches.
// 1 when nothing tells.
int ChosenFilterEntry(const QStringList& filters, const QString& reported, const QString& chosenFile);

}  // namespace marigal
