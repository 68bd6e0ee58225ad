#pragma once
// The offices' part of the program's log (standard error):
//   marigal.office         starts and ends (info); hangs, deaths, killed
//                          leftovers, damaged or missing profiles (warnings)
//   marigal.timing.office  their part of the timing trace (debug)
// Warnings show by default; the rest with QT_LOGGING_RULES.

#include <QLoggingCategory>

namespace marigal::engine::lo {

Q_DECLARE_LOGGING_CATEGORY(lcOffice)
Q_DECLARE_LOGGING_CATEGORY(lcOfficeTiming)

}  // namespace marigal::engine::lo
