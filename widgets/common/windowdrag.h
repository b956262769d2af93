#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QWidget;

// Lets a frameless window be dragged. A left-button press at a point (window coordinates) for which
// startsDrag holds starts a drag; moving with the button held moves the window by the distance
// travelled; the release ends the drag. Watches the window's mouse events as an event filter, so
// presses that its children leave to it count too. The window owns it.
class WindowDrag : public QObject
{
    Q_OBJECT
public:
    WindowDrag(QWidget *window, std::function<bool(const QPoint &)> startsDrag);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    std::function<bool(const QPoint &)> m_startsDrag;
    QPoint m_pressOffset; // the press in global coordinates, less the window's position
    bool m_dragging = false;
};
