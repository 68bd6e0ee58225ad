#include "cardgen/availability.h"

#include "common/log.h"
#include "engine/engine_error.h"

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
    QString noProfile;
    try {
        word = backend.create(engine::kWordProgId);
    } catch (const engine::OfficeProfileError& e) {
        // The office is there, but there is nowhere to keep its settings:
        // telling the user to install it would send them the wrong way.
        noProfile = engine::Q(e.description());
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
    qCWarning(lcErrors).noquote() << QStringLiteral("the word processor cannot be started: %1")
                                         .arg(noProfile.isEmpty() ? QStringLiteral("Error 842001") : noProfile);
    modal.message(noProfile.isEmpty() ? WordUnavailableMessage() : noProfile, appTitle, MsgButtons::Ok,
                  MsgIcon::None);
    endApplication();
}

}  // namespace marigal
