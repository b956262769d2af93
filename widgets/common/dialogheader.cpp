#include "widgets/common/dialogheader.h"

#include "core/files/imagefile.h"
#include "core/platform/mycontext.h"
#include "core/platform/uisize.h"
#include "widgets/common/closebtn.h"

#include <QHBoxLayout>
#include <QLabel>

DialogHeader::DialogHeader(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_closeButton(CloseBtn::create(UiSize::dialogCloseButton(), this))
{
    setObjectName(QStringLiteral("headerWidget"));
    setFixedHeight(UiSize::signInHeader().height());

    auto *pictureLabel = new QLabel(this);
    pictureLabel->setObjectName(QStringLiteral("headerPictureLabel"));
    const int pictureSide = UiSize::signInHeader().height() - 15;
    pictureLabel->setFixedSize(pictureSide, pictureSide);
    pictureLabel->setScaledContents(true);
    pictureLabel->setPixmap(readPixmapFile(QStringLiteral(":/icons/icons/logindialoglabel.png")));

    auto *titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(QStringLiteral("headerTitleLabel"));
    titleLabel->setFont(MyContext::largeFont);
    titleLabel->setStyleSheet(QStringLiteral("QLabel{color:#484848;}"));

    auto *productLabel = new QLabel(QStringLiteral("Tessaly软件管家"), this);
    productLabel->setObjectName(QStringLiteral("headerProductLabel"));
    productLabel->setFont(MyContext::normalFont);
    productLabel->setStyleSheet(QStringLiteral("QLabel{color:#484848;}"));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(pictureLabel);
    layout->addWidget(titleLabel);
    layout->addWidget(productLabel);
    layout->addStretch(1);
    layout->addWidget(m_closeButton, 0, Qt::AlignTop);
}
