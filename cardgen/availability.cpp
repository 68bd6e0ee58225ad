#include "availability.h"

#include <QStringList>

namespace marigal {

QString WordUnavailableMessage()
{
    return QStringList{
        QStringLiteral("Error 842001. A normal instance of Word could not be created."),
        QStringLiteral("1. Please make sure Word is installed on this computer."),
        QStringLiteral("2. Please open Word normally and make sure a blank document opens immediately without "
                       "any interrupting window (such as an Word file recovery window)."),
        QStringLiteral("3. Please make sure that when you double-click on a DOC or DOCX file that Word opens "
                       "normally without any interrupting messages."),
        QStringLiteral("4. All versions of Word are supported by this software except for the rare Word Starter "
                       "and Student editions."),
    }.join(QStringLiteral("\n\n"));
}

void CheckWordInstance(engine::Backend& backend, Modal& modal, const QString& appTitle,
                       const std::function<void()>& endApplication)
{
    engine::Object word;
    try {
        word = backend.create(engine::kWordProgId);
    } catch (...) {
        // Creation failed: the reference stays Nothing.
    }
    if (word) {
        try {
            word.call(u"Quit");
        } catch (...) {
        }
        word.release();
        return;
    }
    modal.message(WordUnavailableMessage(), appTitle, MsgButtons::Ok, MsgIcon::None);
    endApplication();
}

}  // namespace marigal
