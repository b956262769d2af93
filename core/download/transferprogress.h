#pragma once

#include <QMetaType>
#include <QString>
#include <QVector>

// How far a download is: the bytes of the file so far, the whole size when the server announced it,
// and the speed of the last seconds.
struct TransferProgress
{
    qint64 received = 0;
    qint64 total = -1; // -1: unknown (no Content-Length)
    double bytesPerSecond = 0;

    bool isDeterminate() const { return total > 0; }
    // Share of the file received, 0 to 1; 0 when the size is unknown.
    double fraction() const;
    // Seconds still to wait at the current speed; -1 when the size or the speed is unknown.
    qint64 secondsLeft() const;
};
Q_DECLARE_METATYPE(TransferProgress)

// The text a tile's tooltip shows while it downloads: "12.3 MB / 48.0 MB · 5.2 MB/s · 剩余 7 秒", or
// without a known size "12.3 MB · 5.2 MB/s". Sizes count in units of 1024.
QString transferText(const TransferProgress &progress);
// "512 B", "12.3 KB", "48.0 MB", "1.2 GB".
QString byteSizeText(qint64 bytes);

// The speed of a transfer averaged over a sliding window (3 s): fed the running total of bytes with
// the time it was seen.
class TransferRate
{
public:
    explicit TransferRate(qint64 windowMs = 3000)
        : m_windowMs(windowMs)
    {
    }

    void add(qint64 nowMs, qint64 totalBytes);
    // Bytes per second over the window that ends at `nowMs`; 0 before two samples.
    double bytesPerSecond(qint64 nowMs) const;
    void reset() { m_samples.clear(); }

private:
    struct Sample
    {
        qint64 ms;
        qint64 bytes;
    };
    qint64 m_windowMs;
    QVector<Sample> m_samples;
};
