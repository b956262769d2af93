#pragma once

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the log messages of every thread while alive, passing them on to the previous handler, with
// the program's debug lines turned on. Captures may overlap in any order; each sees every message of its lifetime.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    // Messages that start with prefix, of any type.
    int count(const QString &prefix) const;
    bool contains(const QString &prefix) const { return count(prefix) > 0; }
    // Whether a message of this type starts with prefix.
    bool contains(QtMsgType type, const QString &prefix) const;
    // Background posts (the start-up log line) that were sent while capturing and have not ended.
    int backgroundPostsRunning() const;

private:
    struct Entry
    {
        QtMsgType type;
        QString message;
    };
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable QMutex m_mutex;
    QList<Entry> m_entries;
};
