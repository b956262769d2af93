#include "widgets/common/dialogheader.h"

#include "core/platform/uisize.h"
#include "core/platform/mycontext.h"
#include "widgets/common/closebtn.h"

#include <QHBoxLayout>
#include <QLabel>

DialogHeader::DialogHeader(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_closeButton(new CloseBtn(QStringLiteral(":/icons/icons/close_white.png"),
                                 QStringLiteral(":/icons/icons/close_dialog.png"), this))
{
    setObjectName(QStringLiteral("headerWidget"));
    setFixedHeight(UiSize::signInHeader().height());

    auto *pictureLabel = new QLabel(this);
    pictureLabel->setObjectName(QStringLiteral("headerPictureLabel"));
    const int pictureSide = UiSize::signInHeader().height() - 15;
    pictureLabel->setFixedSize(pictureSide, pictureSide);
    pictureLabel->setScaledContents(true);
    pictureLabel->setPixmap(QPixmap(QStringLiteral(":/icons/icons/logindialoglabel.png")));

    auto *titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(QStringLiteral("headerTitleLabel"));
    titleLabel->setFont(MyContext::largeFont);
    titleLabel->setStyleSheet(QStringLiteral("QLabel{color:#484848;}"));

    auto *productLabel = new QLabel(QStringLiteral("Tessaly软件管家"), this);
    productLabel->setObjectName(QStringLiteral("headerProductLabel"));
    productLabel->setFont(MyContext::normalFont);
    productLabel->setStyleSheet(QStringLiteral("QLabel{color:#484848;}"));

    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setFixedSize(UiSize::dialogCloseButton());
    m_closeButton->setIcon(QIcon(QStringLiteral(":/icons/icons/close_dialog.png")));
    m_closeButton->setStyleSheet(QStringLiteral("QPushButton{border:0px;border-radius: none; background-color:none;}"
                                                "QPushButton:hover{background-color:#CB3B3B;}"));
    // In a dialog every push button would be an auto-default one, and the first to take the focus:
    // Enter or Space in the dialog would then close it.
    m_closeButton->setAutoDefault(false);
    m_closeButton->setFocusPolicy(Qt::NoFocus);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(pictureLabel);
    layout->addWidget(titleLabel);
    layout->addWidget(productLabel);
    layout->addStretch(1);
    layout->addWidget(m_closeButton, 0, Qt::AlignTop);
}
