// WheelGuard: a wheel over an unfocused value widget goes to its page.
#include "window/wheel_guard.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QWheelEvent>
#include <QWidget>

WheelGuard::WheelGuard(QAbstractScrollArea* page)
    : QObject(page), page(page)
{
}

void WheelGuard::guard(QWidget* widget)
{
    // Combo and spin boxes default to Qt::WheelFocus: the wheel would give
    // them the focus and change them in one go.
    widget->setFocusPolicy(Qt::StrongFocus);
    widget->installEventFilter(this);
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus())
        return false;
    // Handed to the page's viewport, as if the pointer were over empty page:
    // the page scrolls, and the widget never sees the event. Accepted, so
    // that nothing above the widget gets it a second time.
    QCoreApplication::sendEvent(page->viewport(), event);
    event->accept();
    return true;
}
