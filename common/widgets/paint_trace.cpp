#include "common/widgets/paint_trace.h"

#include "common/timing.h"

#include <QEvent>
#include <QWidget>

namespace marigal {

namespace {

class PaintTrace : public QObject {
public:
    PaintTrace(QWidget& widget, QString name) : QObject(&widget), name_(std::move(name))
    {
        widget.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            armed_ = true;
        } else if (event->type() == QEvent::Paint && armed_) {
            armed_ = false;
            qCDebug(lcTiming).noquote() << QStringLiteral("%1 painted (at %2 ms)").arg(name_).arg(TimingNowMs());
        }
        return false;
    }

private:
    QString name_;
    bool armed_ = false;
};

}  // namespace

void TracePaintAfterShow(QWidget& widget, const QString& name)
{
    if (lcTiming().isDebugEnabled()) new PaintTrace(widget, name);
}

}  // namespace marigal
