#include "common/steps.h"

#include "common/config.h"
#include "common/errors.h"
#include "common/log.h"
#include "common/timing.h"

#include <QElapsedTimer>

#include <exception>

namespace marigal {

QString ErrorBoxText(const QString& description, const QString& form, const QString& procedure, int line)
{
    return description + QLatin1Char('\n') + QStringLiteral("in ") + config::kErrorTag + QLatin1Char('.') + form +
           QLatin1Char('.') + procedure + QLatin1Char(' ') + QStringLiteral("at line ") + QString::number(line) +
           QStringLiteral("\n\n") + QStringLiteral("Please email screenshot of this message to ") +
           config::kSupportAddress;
}

void ShowErrorBox(Modal& modal, const QString& text)
{
    modal.message(text, QStringLiteral("Application Error"), MsgButtons::Ok, MsgIcon::Exclamation);
}

bool Steps::operator()(int line, const std::function<void()>& body)
{
    line_ = line;
    QString description;
    try {
        if (lcTiming().isDebugEnabled()) {
            QElapsedTimer clock;
            clock.start();
            body();
            qCDebug(lcTiming).noquote() << QStringLiteral("%1.%2 %3: %4 ms (at %5 ms)")
                                               .arg(form_, procedure_)
                                               .arg(line)
                                               .arg(clock.nsecsElapsed() / 1e6, 0, 'f', 1)
                                               .arg(TimingNowMs());
        } else {
            body();
        }
        return true;
    } catch (const std::exception& e) {
        // Every error type of ours carries its description as UTF-8 in what().
        description = QString::fromUtf8(e.what());
    } catch (...) {
        description = apperr::kUnknown;
    }
    qCWarning(lcErrors).noquote() << QStringLiteral("%1.%2 at line %3: %4").arg(form_, procedure_).arg(line).arg(description);
    ShowErrorBox(modal_, ErrorBoxText(description, form_, procedure_, line));
    return false;
}

}  // namespace marigal
