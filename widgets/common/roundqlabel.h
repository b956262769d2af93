#pragma once

#include <QLabel>

// A label that shows its pixmap clipped to a circle; without a pixmap it is a plain label.
class RoundQLabel : public QLabel
{
    Q_OBJECT
public:
    explicit RoundQLabel(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
