#include "widgets/catalog/transferbar.h"

#include "core/download/transferprogress.h"
#include "widgets/catalog/tilelook.h"

#include <QPainter>
#include <QTimer>

namespace {
constexpr double stripeShare = 0.3; // of the line's width
constexpr int stripeSteps = 30; // steps for one pass along the line
} // namespace

TransferBar::TransferBar(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TransferBar::setColors(const QColor &accent, const QColor &track)
{
    m_accent = accent;
    m_track = track;
    update();
}

void TransferBar::setProgress(const TransferProgress &progress)
{
    m_fraction = progress.isDeterminate() ? progress.fraction() : -1;
    runStripe(isVisible());
    update();
}

void TransferBar::runStripe(bool shown)
{
    const bool run = shown && m_fraction < 0;
    if (run && !m_stripeTimer) {
        m_stripeTimer = new QTimer(this);
        m_stripeTimer->setInterval(TileLook::stripeIntervalMs);
        connect(m_stripeTimer, &QTimer::timeout, this, [this] {
            m_stripeStep = (m_stripeStep + 1) % stripeSteps;
            update();
        });
    }
    if (run && !m_stripeTimer->isActive())
        m_stripeTimer->start();
    else if (!run && m_stripeTimer)
        m_stripeTimer->stop();
}

void TransferBar::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    runStripe(true);
}

void TransferBar::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    runStripe(false);
}

void TransferBar::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.fillRect(rect(), m_track);
    if (m_fraction >= 0) {
        painter.fillRect(QRect(0, 0, qRound(width() * m_fraction), height()), m_accent);
        return;
    }
    // The stripe enters at the left edge and leaves at the right one.
    const int stripe = qRound(width() * stripeShare);
    const int x = m_stripeStep * (width() + stripe) / stripeSteps - stripe;
    painter.fillRect(QRect(x, 0, stripe, height()), m_accent);
}
