#pragma once

#include <QObject>
#include <QString>

// Runs an installer, or an installed program, as a child process and reports its outcome.
// Meant to live in a QThread of its own: perform() blocks until the child has exited.
class Worker : public QObject
{
    Q_OBJECT
public:
    explicit Worker(const QString &installerPath, QObject *parent = nullptr, int startTimeoutMs = 30000);

signals:
    // Emitted exactly once per perform(): true only when the child exited normally with code 0.
    void actionFinished(bool success);

public slots:
    void perform();

private:
    QString m_installerPath;
    int m_startTimeoutMs;
};
