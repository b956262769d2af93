#include "widgets/account/contactus.h"

#include "core/files/imagefile.h"
#include "widgets/common/dialogheader.h"
#include "core/platform/uisize.h"
#include "core/platform/mycontext.h"
#include "widgets/common/closebtn.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ContactUS::ContactUS(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::CustomizeWindowHint)
    , header(new DialogHeader(QStringLiteral("联系客服"), this))
{
    setObjectName(QStringLiteral("ContactUS"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(UiSize::signInDialog());
    setStyleSheet(QStringLiteral("ContactUS{background-color:white;border:1px solid #55585C;}"));
    connect(header->closeButton(), &QPushButton::clicked, this, &ContactUS::onClose);

    auto *pictureLabel = new QLabel(this);
    pictureLabel->setObjectName(QStringLiteral("officialAccountLabel"));
    const int side = qMin(UiSize::qrCodeImage().height() - 40, UiSize::signInDialog().width() - 80);
    pictureLabel->setFixedSize(side, side);
    pictureLabel->setScaledContents(true);
    pictureLabel->setPixmap(readPixmapFile(QStringLiteral(":/icons/icons/tessalygongzhonghao.jpg")));

    auto *textLabel = new QLabel(QStringLiteral("请您关注公众号联系客服即可"), this);
    textLabel->setObjectName(QStringLiteral("contactTextLabel"));
    textLabel->setFont(MyContext::normalFont);
    textLabel->setAlignment(Qt::AlignCenter);
    textLabel->setWordWrap(true);
    textLabel->setMinimumSize(UiSize::contactBox());
    textLabel->setStyleSheet(QStringLiteral("QLabel{color:#484848;}"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(10);
    layout->addWidget(header);
    layout->addStretch(1);
    layout->addWidget(pictureLabel, 0, Qt::AlignHCenter);
    layout->addWidget(textLabel);
    layout->addStretch(1);

    // Enter in the dialog presses no button.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
}

void ContactUS::onClose()
{
    close();
}
