#include "common/startup.h"

#include "common/config.h"
#include "common/errors.h"

#include <QProcess>
#include <QRandomGenerator>

namespace marigal {

QString ApplicationTitle(const QString& productTitle)
{
    QString title = productTitle;
    do {
        const int blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0) break;
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}

void MaybeOpenMakerSite(const std::function<int()>& draw, const std::function<void(const QString&)>& open)
{
    if (draw() == 7) open(config::kMakerSite);
}

int DrawOneToHundred()
{
    return int(QRandomGenerator::system()->bounded(100)) + 1;
}

void OpenInBrowser(const QString& address)
{
#ifdef Q_OS_WIN
    const QString opener = QStringLiteral("explorer");
#else
    const QString opener = QStringLiteral("xdg-open");
#endif
    if (!QProcess::startDetached(opener, {address})) throw AppError(apperr::kFileNotFound);
}

}  // namespace marigal
