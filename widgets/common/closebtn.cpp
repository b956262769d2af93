#include "widgets/common/closebtn.h"

CloseBtn::CloseBtn(const QString &hoverIcon, const QString &normalIcon, QWidget *parent)
    : QPushButton(parent)
    , m_hoverIcon(hoverIcon)
    , m_normalIcon(normalIcon)
{
}

void CloseBtn::enterEvent(QEvent *event)
{
    setIcon(QIcon(m_hoverIcon));
    QPushButton::enterEvent(event);
}

void CloseBtn::leaveEvent(QEvent *event)
{
    setIcon(QIcon(m_normalIcon));
    QPushButton::leaveEvent(event);
}
