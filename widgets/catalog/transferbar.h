#pragma once

#include <QColor>
#include <QWidget>

class QTimer;
struct TransferProgress;

// The thin line under the button of a tile's download: filled to the share of the file received, or,
// while the size is unknown, a stripe sliding along it. A tile makes one with its first download.
class TransferBar : public QWidget
{
    Q_OBJECT
public:
    explicit TransferBar(QWidget *parent = nullptr);

    void setColors(const QColor &accent, const QColor &track);
    void setProgress(const TransferProgress &progress);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // The stripe moves only while the size is unknown and the line shows.
    void runStripe(bool shown);

    QColor m_accent;
    QColor m_track;
    double m_fraction = -1; // -1: the size is unknown
    int m_stripeStep = 0;
    QTimer *m_stripeTimer = nullptr; // made when the first stripe shows
};
