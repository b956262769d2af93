#include "widgets/common/roundqlabel.h"

#include "core/base/headimage.h"

#include <QPainter>

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
    paintCircular(painter, rect(), picture.toImage(), Qt::SmoothTransformation);
}
