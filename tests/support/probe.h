#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Runs a step every few milliseconds. It also runs while an exchange waits in its local event loop,
// which is where tests act on a dialog or a tile that is waiting.
class Probe : public QObject
{
public:
    explicit Probe(std::function<void()> step)
        : m_step(std::move(step))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { m_step(); });
        m_timer.start(5);
    }
    void stop() { m_timer.stop(); }

private:
    std::function<void()> m_step;
    QTimer m_timer;
};
