#pragma once
// The office's part of the timing trace (see marigal.timing): off unless
//   QT_LOGGING_RULES="marigal.timing*.debug=true"

#include <QLoggingCategory>

namespace marigal::engine::lo {

Q_DECLARE_LOGGING_CATEGORY(lcOfficeTiming)

}  // namespace marigal::engine::lo
