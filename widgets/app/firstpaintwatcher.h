#pragma once

#include <QObject>

// Quits the application with status 0 once the watched widget has been painted for the first time,
// printing "first paint" on standard output. Used for start-up measurements and scripted checks
// (TESSALY_QUIT_WHEN_SHOWN=1).
class FirstPaintWatcher : public QObject
{
    Q_OBJECT
public:
    explicit FirstPaintWatcher(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_seen = false;
};
