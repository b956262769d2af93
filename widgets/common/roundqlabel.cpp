#include "widgets/common/roundqlabel.h"

#include <QPainter>
#include <QPainterPath>

RoundQLabel::RoundQLabel(QWidget *parent)
    : QLabel(parent)
{
}

void RoundQLabel::paintEvent(QPaintEvent *event)
{
    const QPixmap picture = pixmap(Qt::ReturnByValue);
    if (picture.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const int diameter = qMin(width(), height());
    QPainterPath circle;
    circle.addEllipse(0, 0, diameter, diameter);
    painter.setClipPath(circle);
    painter.drawPixmap(rect(), picture);
}
