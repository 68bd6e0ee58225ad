#pragma once
// A trace of where a card's time goes, off unless asked for:
//   QT_LOGGING_RULES="marigal.timing*.debug=true" marigal
// Each numbered step of a handler is logged with its milliseconds, and a few
// moments besides (a window's first paint).

#include <QLoggingCategory>
#include <QString>

namespace marigal {

Q_DECLARE_LOGGING_CATEGORY(lcTiming)

// Milliseconds on the trace's clock, which starts at its first use; each line
// of the trace says when it happened ("at ... ms").
qint64 TimingNowMs();

}  // namespace marigal
