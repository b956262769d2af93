#include "widgets/common/closebtn.h"

#include "core/files/imagefile.h"

CloseBtn::CloseBtn(const QString &hoverIcon, const QString &normalIcon, QWidget *parent)
    : QPushButton(parent)
    , m_hoverIcon(hoverIcon)
    , m_normalIcon(normalIcon)
{
}

CloseBtn *CloseBtn::create(const QSize &size, QWidget *parent)
{
    const QString normalIcon = QLatin1String(normalIconFile);
    auto *button = new CloseBtn(QStringLiteral(":/icons/icons/close_white.png"), normalIcon, parent);
    button->setObjectName(QStringLiteral("closeButton"));
    button->setFixedSize(size);
    button->setIcon(QIcon(readPixmapFile(normalIcon)));
    button->setStyleSheet(QStringLiteral("QPushButton{border:0px;border-radius: none; background-color:none;}"
                                         "QPushButton:hover{background-color:#CB3B3B;}"));
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void CloseBtn::enterEvent(QEvent *event)
{
    setIcon(QIcon(readPixmapFile(m_hoverIcon)));
    QPushButton::enterEvent(event);
}

void CloseBtn::leaveEvent(QEvent *event)
{
    setIcon(QIcon(readPixmapFile(m_normalIcon)));
    QPushButton::leaveEvent(event);
}
