#include "widgets/shell/titlebar.h"

#include "core/account/signinnotifier.h"
#include "core/app/processexit.h"
#include "core/base/headimage.h"
#include "core/base/logging.h"
#include "core/base/user.h"
#include "core/files/imagefile.h"
#include "core/platform/mycontext.h"
#include "core/platform/uisize.h"
#include "widgets/account/contactus.h"
#include "widgets/account/gongzhonglogindialog.h"
#include "widgets/account/myloginbtn.h"
#include "widgets/account/perinfofloatdialog.h"
#include "widgets/common/closebtn.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace {
const char windowButtonStyle[] = "QPushButton{border:0px;border-radius: none; background-color:none;}"
                                 "QPushButton:hover{background-color:#E7EAED;}";
// The signed-in user's head image on the sign-in button: cut to a circle of this radius, shown at
// this side.
const int headRadius = 30;
const int headIconSide = 30;
const char titleIconFile[] = ":/icons/icons/title_icon.png";
const char contactIconFile[] = ":/icons/icons/concatus.png";
const char minimizeIconFile[] = ":/icons/icons/min_black.png";
} // namespace

QStringList TitleBar::startPictures()
{
    return {QLatin1String(titleIconFile), QLatin1String(contactIconFile), QLatin1String(minimizeIconFile),
            QLatin1String(MyLoginBtn::iconFile), QLatin1String(CloseBtn::normalIconFile)};
}

TitleBar::TitleBar(QWidget *parent)
    : QWidget(parent)
    , iconLabel(new QLabel(this))
    , titleLabel(new QLabel(this))
    , loginButton(new MyLoginBtn(this))
    , contactButton(new QPushButton(this))
    , minimizeButton(new QPushButton(this))
    , closeButton(CloseBtn::create(UiSize::windowButton(), this))
{
    setObjectName(QStringLiteral("titleBar"));
    setProperty("titleBar", true);
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(UiSize::windowButton().height());

    iconLabel->setFixedSize(UiSize::titleIcon());
    iconLabel->setScaledContents(true);
    iconLabel->setPixmap(readPixmapFile(QLatin1String(titleIconFile)));
    iconLabel->setStyleSheet(QStringLiteral("QLabel{ border-radius:8px;}"));

    titleLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    titleLabel->setText(QStringLiteral("Tessaly软件管家"));
    titleLabel->setFont(MyContext::normalFont);

    // The sign-in button keeps these connections for good; the slots act on who is signed in.
    connect(loginButton, &QPushButton::clicked, this, &TitleBar::showLoginDialog);
    connect(loginButton, &MyLoginBtn::showPer, this, &TitleBar::showPerInfoFloatDialog);
    connect(loginButton, &MyLoginBtn::hidePer, this, &TitleBar::hidePerInfoFloatDialog);

    // A sign-in whose dialog was closed before the answer came still shows here.
    connect(SignInNotifier::instance(), &SignInNotifier::signedInAfterClose, this, &TitleBar::refreshContent);

    contactButton->setObjectName(QStringLiteral("contactButton"));
    contactButton->setFlat(true);
    contactButton->setText(QStringLiteral("联系客服"));
    contactButton->setFixedHeight(UiSize::titleTextButton().height());
    contactButton->setIcon(QIcon(readPixmapFile(QLatin1String(contactIconFile))));
    contactButton->setIconSize(QSize(25, 25));
    contactButton->setFont(MyContext::normalFont);
    contactButton->setCursor(Qt::PointingHandCursor);
    contactButton->setStyleSheet(QStringLiteral(
        "QPushButton{background-color:none;color:#484848;border:0px;padding-left:10px;padding-right:10px;}"));
    connect(contactButton, &QPushButton::clicked, this, &TitleBar::showConcatUsDialog);

    minimizeButton->setObjectName(QStringLiteral("minimizeButton"));
    minimizeButton->setFixedSize(UiSize::windowButton());
    minimizeButton->setIcon(QIcon(readPixmapFile(QLatin1String(minimizeIconFile))));
    minimizeButton->setStyleSheet(QLatin1String(windowButtonStyle));

    // The window buttons show icons only, yet a push button's size hint measures text in its font: in
    // the title bar's font they need no font of their own, which would be one more to load at start.
    minimizeButton->setFont(MyContext::normalFont);
    closeButton->setFont(MyContext::normalFont);

    // Window controls take no keyboard focus: Windows would frame the first of them at start.
    for (QWidget *button : std::initializer_list<QWidget *>{loginButton, contactButton, minimizeButton})
        button->setFocusPolicy(Qt::NoFocus);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(5, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(iconLabel);
    layout->addWidget(titleLabel);
    layout->addStretch(1);
    layout->addWidget(loginButton);
    layout->addWidget(contactButton);
    layout->addWidget(minimizeButton);
    layout->addWidget(closeButton);

    setStyleSheet(QStringLiteral("TitleBar{background-color:white;}"));

    connect(minimizeButton, &QPushButton::clicked, this, &TitleBar::onClicked);
    connect(closeButton, &QPushButton::clicked, this, &TitleBar::onClicked);

    refreshContent();
}

PerInfoFloatDialog *TitleBar::accountPopupWidget()
{
    if (!accountPopup) {
        accountPopup = new PerInfoFloatDialog(this);
        accountPopup->setObjectName(QStringLiteral("perInfoFloatDialog"));
        connect(accountPopup, &PerInfoFloatDialog::parentLoginOut, this, &TitleBar::loginOut);
    }
    return accountPopup;
}

void TitleBar::onClicked()
{
    auto *button = qobject_cast<QPushButton *>(sender());
    QWidget *window = this->window();
    if (!button || !window->isWindow())
        return;
    if (button == minimizeButton) {
        window->showMinimized();
    } else if (button == closeButton) {
        window->close();
        ProcessExit::terminate(1);
    }
}

void TitleBar::showPerInfoFloatDialog()
{
    if (!MyContext::user)
        return;
    qCDebug(lcShell) << "===========showPerInfoFloatDialog=============";
    const QPoint buttonCorner = loginButton->mapToGlobal(QPoint(0, 0));
    PerInfoFloatDialog *popup = accountPopupWidget();
    popup->refreshContent();
    popup->show();
    const int distance = (popup->width() - loginButton->width()) / 2;
    qCDebug(lcShell) << "distance:" << distance << ",perInfoFloatDialog->width:" << popup->width();
    const int y = buttonCorner.y() + loginButton->height() + (MyContext::isSmall ? 0 : 5);
    popup->setGeometry(buttonCorner.x() - distance, y, popup->width(), popup->height());
}

void TitleBar::hidePerInfoFloatDialog()
{
    qCDebug(lcShell) << "===========hidePerInfoFloatDialog=============";
    if (accountPopup)
        accountPopup->close();
}

void TitleBar::showConcatUsDialog()
{
    if (MyContext::kefuMode == QLatin1String("1") || MyContext::kefuMode == QLatin1String("2")) {
        QDesktopServices::openUrl(QUrl(MyContext::kefuUrl));
    } else if (MyContext::kefuMode == QLatin1String("3")) {
        auto *contact = new ContactUS(nullptr);
        contact->show();
    }
}

void TitleBar::initLoginDialog()
{
}

void TitleBar::showLoginDialog()
{
    if (MyContext::user)
        return;
    auto *dialog = new GongZhongLoginDialog(this);
    connect(dialog, &GongZhongLoginDialog::loginSuccess, this, &TitleBar::refreshContent);
    dialog->show();
}

void TitleBar::refreshContent()
{
    const User *user = MyContext::user;
    if (!user) {
        loginButton->setText(QStringLiteral("登录"));
        return;
    }

    loginButton->setText(user->nickName());
    QPixmap head;
    if (!user->headImgBase64().isEmpty()) {
        head = QPixmap::fromImage(
            circularImage(decodeHeadImage(user->headImgBase64()), 2 * headRadius, Qt::FastTransformation));
    } else {
        head = readPixmapFile(QStringLiteral(":/icons/icons/defalut_title_head_img.png"));
    }
    QIcon icon;
    icon.addPixmap(head, QIcon::Normal, QIcon::On);
    loginButton->setIcon(icon);
    loginButton->setIconSize(QSize(headIconSide, headIconSide));
}

void TitleBar::loginOut()
{
    loginButton->setText(QStringLiteral("登录"));
    loginButton->resetLook();
    if (accountPopup)
        accountPopup->hide();
    MyContext::loginOut();
}
