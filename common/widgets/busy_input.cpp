#include "common/widgets/busy_input.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace marigal {

namespace {

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod: return true;
    default: return false;
    }
}

// Within the message box the busy handler shows: the user answers it.
bool InActiveModal(QObject* target)
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return false;
    if (auto* widget = qobject_cast<QWidget*>(target)) return widget == modal || modal->isAncestorOf(widget);
    if (auto* window = qobject_cast<QWindow*>(target)) return window == modal->windowHandle();
    return false;
}

}  // namespace

BusyInputGuard::BusyInputGuard()
{
    QCoreApplication::instance()->installEventFilter(this);
}

BusyInputGuard::~BusyInputGuard()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

void BusyInputGuard::drain()
{
    // Posted and window-system events both, as they stand now.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
}

bool BusyInputGuard::eventFilter(QObject* watched, QEvent* event)
{
    return IsUserInput(event->type()) && !InActiveModal(watched);
}

}  // namespace marigal
