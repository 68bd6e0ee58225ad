#pragma once
// What a user can send with a bug report: the program writes to standard
// error (a desktop session's journal keeps it), warnings only unless asked:
//   QT_LOGGING_RULES="marigal.*.info=true"
//   marigal.errors   every error box and message the program shows, with
//                    its form, procedure and step (warnings)
//   marigal.office   the offices: starts and ends (info); what goes wrong
//                    with them, their profiles and their pipes (warnings)
//   marigal.timing*  see timing.h

#include <QLoggingCategory>

namespace marigal {

Q_DECLARE_LOGGING_CATEGORY(lcErrors)

}  // namespace marigal
