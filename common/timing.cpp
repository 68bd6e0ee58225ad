#include "common/timing.h"

#include <QElapsedTimer>

namespace marigal {

Q_LOGGING_CATEGORY(lcTiming, "marigal.timing", QtWarningMsg)

qint64 TimingNowMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return clock.elapsed();
}

}  // namespace marigal
