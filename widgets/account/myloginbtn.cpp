#include "widgets/account/myloginbtn.h"

#include "core/base/logging.h"
#include "core/files/imagefile.h"
#include "core/platform/uisize.h"
#include "core/platform/mycontext.h"

#include <QCursor>

MyLoginBtn::MyLoginBtn(QWidget *parent)
    : QPushButton(parent)
{
    setFlat(true);
    setFont(MyContext::normalFont);
    setFixedHeight(UiSize::titleTextButton().height());
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(QStringLiteral(
        "MyLoginBtn{background-color:none;color:#484848;border:0px;padding-left:10px;padding-right:10px;}"));
    resetLook();
}

void MyLoginBtn::resetLook()
{
    setIcon(QIcon(readPixmapFile(QLatin1String(iconFile))));
    setIconSize(QSize(25, 25));
}

bool MyLoginBtn::keepsPopupOpen(const QPoint &pos) const
{
    const int x2 = width();
    const int y2 = height() + hoverZoneDepth;
    return pos.x() > 0 && pos.x() < x2 && pos.y() > 0 && pos.y() < y2;
}

void MyLoginBtn::enterEvent(QEvent *event)
{
    qCDebug(lcAccount) << "into login btn enterEvent";
    emit showPer();
    QPushButton::enterEvent(event);
}

void MyLoginBtn::leaveEvent(QEvent *event)
{
    qCDebug(lcAccount) << "into login btn leave";
    const QPoint pos = mapFromGlobal(QCursor::pos());
    qCDebug(lcAccount) << "x2:" << width() << ",y2:" << height() + hoverZoneDepth << ",point x:" << pos.x()
                       << ",point y:" << pos.y();
    if (!keepsPopupOpen(pos))
        emit hidePer();
    QPushButton::leaveEvent(event);
}
