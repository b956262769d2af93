#include "support/logcapture.h"

#include <QLoggingCategory>
#include <QMutexLocker>

namespace {
// Every living capture, in any order of making and ending, and the handler that was there before the first.
QMutex s_mutex;
QList<LogCapture *> s_captures;
QtMessageHandler s_previous = nullptr;
} // namespace

LogCapture::LogCapture()
{
    // Debug lines are what the tests read; release builds leave them off by default.
    QLoggingCategory::setFilterRules(QStringLiteral("tessaly.*.debug=true"));
    QMutexLocker lock(&s_mutex);
    if (s_captures.isEmpty())
        s_previous = qInstallMessageHandler(&LogCapture::handle);
    s_captures.append(this);
}

LogCapture::~LogCapture()
{
    QMutexLocker lock(&s_mutex);
    s_captures.removeOne(this);
    if (s_captures.isEmpty())
        qInstallMessageHandler(s_previous);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&m_mutex);
    QStringList result;
    for (const Entry &entry : m_entries)
        result.append(entry.message);
    return result;
}

int LogCapture::count(const QString &prefix) const
{
    QMutexLocker lock(&m_mutex);
    return int(std::count_if(m_entries.cbegin(), m_entries.cend(),
                             [&prefix](const Entry &entry) { return entry.message.startsWith(prefix); }));
}

bool LogCapture::contains(QtMsgType type, const QString &prefix) const
{
    QMutexLocker lock(&m_mutex);
    return std::any_of(m_entries.cbegin(), m_entries.cend(),
                       [&](const Entry &entry) { return entry.type == type && entry.message.startsWith(prefix); });
}

int LogCapture::backgroundPostsRunning() const
{
    return count(QStringLiteral("background post:")) - count(QStringLiteral("background post ended:"));
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QtMessageHandler previous = nullptr;
    {
        QMutexLocker chain(&s_mutex);
        for (LogCapture *capture : qAsConst(s_captures)) {
            QMutexLocker lock(&capture->m_mutex);
            capture->m_entries.append({type, message});
        }
        previous = s_previous;
    }
    if (previous)
        previous(type, context, message);
}
