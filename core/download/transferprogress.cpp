#include "core/download/transferprogress.h"

#include <cmath>

double TransferProgress::fraction() const
{
    if (!isDeterminate())
        return 0;
    return qBound(0.0, double(received) / double(total), 1.0);
}

qint64 TransferProgress::secondsLeft() const
{
    if (!isDeterminate() || bytesPerSecond < 1)
        return -1;
    const qint64 left = qMax<qint64>(0, total - received);
    return qint64(std::ceil(double(left) / bytesPerSecond));
}

QString byteSizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(qMax<qint64>(0, bytes));
    static const char *const units[] = {"KB", "MB", "GB", "TB"};
    double value = double(bytes) / 1024;
    int unit = 0;
    // 1023.96 KB would print as "1024.0 KB": such a value reads better in the next unit.
    while (value >= 1023.95 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

namespace {

QString timeLeftText(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("剩余 %1 秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("剩余 %1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("剩余 %1 小时 %2 分").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

} // namespace

QString transferText(const TransferProgress &progress)
{
    const QString separator = QStringLiteral(" · ");
    QString text = byteSizeText(progress.received);
    if (progress.isDeterminate())
        text += QStringLiteral(" / ") + byteSizeText(progress.total);
    text += separator + byteSizeText(qint64(progress.bytesPerSecond)) + QStringLiteral("/s");
    const qint64 left = progress.secondsLeft();
    if (left >= 0)
        text += separator + timeLeftText(left);
    return text;
}

void TransferRate::add(qint64 nowMs, qint64 totalBytes)
{
    m_samples.append({nowMs, totalBytes});
    // One sample older than the window stays: it is where the window's first bytes are counted from.
    int drop = 0;
    while (drop + 1 < m_samples.size() && m_samples.at(drop + 1).ms <= nowMs - m_windowMs)
        ++drop;
    m_samples.remove(0, drop);
}

double TransferRate::bytesPerSecond(qint64 nowMs) const
{
    const qint64 start = nowMs - m_windowMs;
    if (m_samples.isEmpty() || m_samples.last().ms <= start)
        return 0;
    // The bytes counted at the window's start, read between the samples around it; a transfer younger
    // than the window counts from its first sample.
    double fromBytes = double(m_samples.first().bytes);
    qint64 fromMs = m_samples.first().ms;
    for (int i = 0; i + 1 < m_samples.size() && m_samples.at(i).ms < start; ++i) {
        const Sample &a = m_samples.at(i);
        const Sample &b = m_samples.at(i + 1);
        if (b.ms <= start)
            continue;
        fromBytes = double(a.bytes) + double(b.bytes - a.bytes) * double(start - a.ms) / double(b.ms - a.ms);
        fromMs = start;
        break;
    }
    // The window ends now, not at the last sample: a transfer that fell silent slows down to 0.
    const qint64 span = nowMs - fromMs;
    return span > 0 ? (double(m_samples.last().bytes) - fromBytes) * 1000.0 / double(span) : 0;
}
