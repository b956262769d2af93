#include "widgets/app/firstpaintwatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

FirstPaintWatcher::FirstPaintWatcher(QObject *parent)
    : QObject(parent)
{
}

bool FirstPaintWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && !m_seen) {
        m_seen = true;
        // Leave after the paint has been delivered.
        QTimer::singleShot(0, this, [] { QCoreApplication::exit(0); });
    }
    return QObject::eventFilter(watched, event);
}
