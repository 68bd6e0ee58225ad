#include "timing.h"

#include <QEvent>
#include <QWidget>

namespace marigal {

Q_LOGGING_CATEGORY(lcTiming, "marigal.timing", QtWarningMsg)

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
            qCDebug(lcTiming).noquote() << name_ << QStringLiteral("painted");
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
