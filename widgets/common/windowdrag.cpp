#include "widgets/common/windowdrag.h"

#include "core/base/logging.h"

#include <QMouseEvent>
#include <QWidget>

WindowDrag::WindowDrag(QWidget *window, std::function<bool(const QPoint &)> startsDrag)
    : QObject(window)
    , m_window(window)
    , m_startsDrag(std::move(startsDrag))
{
    window->installEventFilter(this);
}

bool WindowDrag::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *press = static_cast<QMouseEvent *>(event);
        if (press->button() == Qt::LeftButton && m_startsDrag(press->pos())) {
            qCDebug(lcShell) << "X:" << press->pos().x() << ",Y:" << press->pos().y();
            m_dragging = true;
            m_pressOffset = press->globalPos() - m_window->pos();
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto *move = static_cast<QMouseEvent *>(event);
        if (m_dragging && (move->buttons() & Qt::LeftButton))
            m_window->move(move->globalPos() - m_pressOffset);
        break;
    }
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        break;
    default:
        break;
    }
    return false;
}
