#include "support/logcapture.h"

#include <QMutexLocker>

namespace {
LogCapture *s_active = nullptr;
}

LogCapture::LogCapture()
{
    s_active = this;
    m_previous = qInstallMessageHandler(&LogCapture::handle);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    s_active = nullptr;
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

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    LogCapture *self = s_active;
    if (!self)
        return;
    {
        QMutexLocker lock(&self->m_mutex);
        self->m_entries.append({type, message});
    }
    if (self->m_previous)
        self->m_previous(type, context, message);
}
