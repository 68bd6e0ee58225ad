#include "common/log.h"

namespace marigal {

Q_LOGGING_CATEGORY(lcErrors, "marigal.errors", QtWarningMsg)

}  // namespace marigal
