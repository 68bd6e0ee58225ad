#include "common/modal.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace marigal {

QStringList DialogNameFilters(const QString& barFilter)
{
    QStringList parts = barFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        if (description.isEmpty()) continue;
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            patterns << pattern;
            if (pattern.toUpper() != pattern) patterns << pattern.toUpper();
        }
        // The dialog shows the text before the last parenthesised pattern list
        // (HideNameFilterDetails) and filters by that list.
        filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

int ChosenFilterEntry(const QStringList& filters, const QString& reported, const QString& chosenFile)
{
    if (const qsizetype exact = filters.indexOf(reported); exact >= 0) return int(exact) + 1;
    // "PDF Files (*.pdf) (*.pdf *.PDF)" is shown, and reported by some
    // dialogs, as "PDF Files (*.pdf)".
    static const QRegularExpression patterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    for (qsizetype i = 0; i < filters.size(); ++i) {
        QString shown = filters[i];
        shown.remove(patterns);
        if (!reported.isEmpty() && shown == reported.trimmed()) return int(i) + 1;
    }
    const QString name = QFileInfo(chosenFile).fileName();
    for (qsizetype i = 0; i < filters.size() && !name.isEmpty(); ++i) {
        const QRegularExpressionMatch list = patterns.match(filters[i]);
        QString inside = list.captured(0).trimmed();
        inside = inside.mid(1, inside.size() - 2);
        for (const QString& pattern : inside.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            if (QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive).match(name).hasMatch()) return int(i) + 1;
    }
    return 1;
}

}  // namespace marigal
