#include "support/logcapture.h"

#include <QLoggingCategory>
#include <QMutexLocker>

namespace {
// The innermost capture; each one knows the capture it was made inside of.
LogCapture *s_active = nullptr;
QMutex s_chainMutex;
} // namespace

LogCapture::LogCapture()
{
    // Debug lines are what the tests read; release builds leave them off by default.
    QLoggingCategory::setFilterRules(QStringLiteral("tessaly.*.debug=true"));
    QMutexLocker lock(&s_chainMutex);
    m_outer = s_active;
    s_active = this;
    if (!m_outer)
        m_previous = qInstallMessageHandler(&LogCapture::handle);
}

LogCapture::~LogCapture()
{
    QMutexLocker lock(&s_chainMutex);
    if (!m_outer)
        qInstallMessageHandler(m_previous);
    s_active = m_outer;
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
        QMutexLocker chain(&s_chainMutex);
        for (LogCapture *capture = s_active; capture; capture = capture->m_outer) {
            QMutexLocker lock(&capture->m_mutex);
            capture->m_entries.append({type, message});
            previous = capture->m_previous;
        }
    }
    if (previous)
        previous(type, context, message);
}
