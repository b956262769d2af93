#include "widgets/account/perinfofloatdialog.h"

#include "core/base/headimage.h"
#include "core/base/user.h"
#include "core/files/imagefile.h"
#include "core/platform/mycontext.h"
#include "core/platform/uisize.h"
#include "widgets/common/roundqlabel.h"

#include <QCursor>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const int headSide = 80;
const char defaultHeadImage[] = ":/icons/icons/defalut_head_img.png";
} // namespace

PerInfoFloatDialog::PerInfoFloatDialog(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint)
    , m_headLabel(new RoundQLabel(this))
    , m_nickNameLabel(new QLabel(this))
    , m_userIdLabel(new QLabel(this))
    , m_loginOutButton(new QPushButton(QStringLiteral("退出登录"), this))
{
    setAttribute(Qt::WA_StyledBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(UiSize::accountPopup());
    setStyleSheet(QStringLiteral(
        "PerInfoFloatDialog{background-color:white;border:1px solid #027DF0;border-top:0px;color:#484848;}"));

    m_headLabel->setObjectName(QStringLiteral("headLabel"));
    m_headLabel->setFixedSize(headSide, headSide);
    m_headLabel->setPixmap(readPixmapFile(QLatin1String(defaultHeadImage)));

    m_nickNameLabel->setObjectName(QStringLiteral("nickNameLabel"));
    m_nickNameLabel->setFont(MyContext::largeFont);
    m_nickNameLabel->setAlignment(Qt::AlignCenter);
    m_nickNameLabel->setStyleSheet(QStringLiteral("QLabel{color:#484848;}"));

    m_userIdLabel->setObjectName(QStringLiteral("userIdLabel"));
    m_userIdLabel->setFont(MyContext::normalFont);
    m_userIdLabel->setAlignment(Qt::AlignCenter);
    m_userIdLabel->setStyleSheet(QStringLiteral("QLabel{color:#484848;}"));

    m_loginOutButton->setObjectName(QStringLiteral("loginOutButton"));
    m_loginOutButton->setFont(MyContext::normalFont);
    m_loginOutButton->setCursor(Qt::PointingHandCursor);
    m_loginOutButton->setStyleSheet(
        QStringLiteral("QPushButton{border:0px;background-color:white;color:#66625C;}"
                       "QPushButton:hover{border:0px;background-color:white;color:#288ADD;}"));
    connect(m_loginOutButton, &QPushButton::clicked, this, &PerInfoFloatDialog::loginOut);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 25, 10, 20);
    layout->setSpacing(10);
    layout->addWidget(m_headLabel, 0, Qt::AlignHCenter);
    layout->addWidget(m_nickNameLabel);
    layout->addWidget(m_userIdLabel);
    layout->addStretch(1);
    layout->addWidget(m_loginOutButton, 0, Qt::AlignHCenter);
}

void PerInfoFloatDialog::refreshContent()
{
    const User *user = MyContext::user;
    if (!user)
        return;
    m_nickNameLabel->setText(user->nickName());
    m_userIdLabel->setText(user->userId());
    // The default picture for a user without one; none when the user's does not decode.
    const QString base64 = user->headImgBase64();
    const QPixmap head = base64.isEmpty() ? readPixmapFile(QLatin1String(defaultHeadImage))
                                          : QPixmap::fromImage(decodeHeadImage(base64));
    if (head.isNull())
        m_headLabel->clear();
    else
        m_headLabel->setPixmap(head);
}

void PerInfoFloatDialog::loginOut()
{
    emit parentLoginOut();
}

void PerInfoFloatDialog::leaveEvent(QEvent *event)
{
    if (!rect().contains(mapFromGlobal(QCursor::pos())))
        hide();
    QDialog::leaveEvent(event);
}
