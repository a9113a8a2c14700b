// WheelGuard: value widgets on a scrolled page (combo boxes, spin boxes)
// that take the mouse wheel only while they have the keyboard focus. A wheel
// turned over an unfocused one scrolls the page instead, so that scrolling a
// long page never changes a value on the way. Clicks and the keyboard work
// as usual: a click or Tab gives the widget focus, and from then on the
// wheel steps its value.
#pragma once

#include <QObject>

class QAbstractScrollArea;
class QWidget;

class WheelGuard : public QObject {
public:
    // page: the scroll area the guarded widgets live in.
    explicit WheelGuard(QAbstractScrollArea* page);

    // Gives widget a focus policy that the wheel cannot change (Tab and
    // click focus, Qt::StrongFocus) and guards its wheel events.
    void guard(QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractScrollArea* page;
};
