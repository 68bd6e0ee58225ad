#include "common/errors.h"

#include <cmath>

namespace marigal {

int CIntText(const QString& text)
{
    const QString t = text.trimmed();
    bool ok = false;
    double v = t.toDouble(&ok);  // C locale: the stored values are machine-written
    if (!ok || t.isEmpty() || !std::isfinite(v)) throw AppError(apperr::kTypeMismatch);
    v = std::nearbyint(v);  // default rounding mode: half to even
    if (v < -32768.0 || v > 32767.0) throw AppError(apperr::kOverflow);
    return static_cast<int>(v);
}

}  // namespace marigal
