#include "widgets/account/gongzhonglogindialog.h"

#include "core/account/signinflow.h"
#include "core/platform/mycontext.h"
#include "core/platform/uisize.h"
#include "widgets/account/phonesigninpanel.h"
#include "widgets/common/closebtn.h"
#include "widgets/common/dialogheader.h"
#include "widgets/common/windowdrag.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMovie>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char tabChosenStyle[] =
    "QPushButton{padding-bottom:10px;color:#2089F6;border:0px;border-bottom:2px solid #2089F6;"
    "background-color:white;}";
const char tabOtherStyle[] = "QPushButton{padding-bottom:10px;color:#484848;border:0px;background-color:white;}";

// Presses in the top band, left of the close button, drag the dialog.
const int dragBandHeight = 45;
const int dragBandRightMargin = 50;

QPushButton *pushButton(const QString &text, const char *name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setFont(MyContext::normalFont);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// The picture area of the QR panel: the preset size, narrowed to the dialog's inner width where the
// preset is wider than the dialog (small screens).
QLabel *pictureLabel(const char *name, QWidget *parent)
{
    const QSize preset = UiSize::qrCodeImage();
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(qMin(preset.width(), UiSize::signInDialog().width() - 2), preset.height());
    return label;
}

} // namespace

GongZhongLoginDialog::GongZhongLoginDialog(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::CustomizeWindowHint)
    , m_flow(new SignInFlow(this))
{
    setObjectName(QStringLiteral("GongZhongLoginDialog"));
    setModal(true);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(UiSize::signInDialog());
    setStyleSheet(QStringLiteral("GongZhongLoginDialog{background-color:white;border:1px solid #55585C;}"));

    header = new DialogHeader(QStringLiteral("登录"), this);
    connect(header->closeButton(), &QPushButton::clicked, this, &GongZhongLoginDialog::onClose);

    auto *center = new QWidget(this);
    center->setObjectName(QStringLiteral("centerWidget"));
    center->setStyleSheet(QStringLiteral("QWidget#centerWidget{border:1px solid #E4EFFA;}"));
    auto *centerLayout = new QVBoxLayout(center);
    centerLayout->setContentsMargins(0, 0, 0, 0);
    centerLayout->setSpacing(0);
    QWidget *footer = buildFooter();
    qrPanel = buildQrPanel();
    phonePanel = new PhoneSignInPanel(this);
    centerLayout->addWidget(qrPanel, 1);
    centerLayout->addWidget(phonePanel, 1);
    centerLayout->addWidget(footer);
    connect(phonePanel->sendCodeButton(), &QPushButton::clicked, this, &GongZhongLoginDialog::onSendVerifyCode);
    connect(phonePanel->loginButton(), &QPushButton::clicked, this, &GongZhongLoginDialog::onLogin);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(center, 1);

    // Every push button of a dialog would be an auto-default one: Enter would press whichever had the
    // focus last. Only "登 录" is the default, so Enter in the phone panel runs the checks and the login
    // (on the QR panel it is hidden and Enter presses nothing).
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
    phonePanel->loginButton()->setDefault(true);
    showPanel(true);

    new WindowDrag(this, [this](const QPoint &pos) {
        return pos.x() > 0 && pos.x() < width() - dragBandRightMargin && pos.y() > 0 && pos.y() < dragBandHeight;
    });

    connect(m_flow, &SignInFlow::fetchStarted, this, [this] { showFetching(true); });
    connect(m_flow, &SignInFlow::qrCodeFetched, this, &GongZhongLoginDialog::showQrPicture);
    connect(m_flow, &SignInFlow::fetchEnded, this, [this] { showFetching(false); });
    connect(m_flow, &SignInFlow::countdownChanged, phonePanel, &PhoneSignInPanel::showCountdown);
    connect(m_flow, &SignInFlow::countdownEnded, phonePanel, &PhoneSignInPanel::restoreSendCodeButton);
    connect(m_flow, &SignInFlow::messageChanged, phonePanel, &PhoneSignInPanel::showMessage);
    connect(m_flow, &SignInFlow::signedIn, this, &GongZhongLoginDialog::onSignedIn);
    connect(m_flow, &SignInFlow::signedInElsewhere, this, &GongZhongLoginDialog::onClose);
    m_flow->start();
}

QWidget *GongZhongLoginDialog::buildFooter()
{
    auto *footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("centerFooterWidget"));
    footer->setStyleSheet(QStringLiteral("QWidget#centerFooterWidget{border:0px;border-top:1px solid #E4EFFA;}"));

    wechatTab = pushButton(QStringLiteral("微信登录"), "wechatTab", footer);
    phoneTab = pushButton(QStringLiteral("手机号登录"), "phoneTab", footer);
    for (QPushButton *tab : {wechatTab, phoneTab}) {
        tab->setFixedHeight(PhoneSignInPanel::fieldHeight + 10);
        connect(tab, &QPushButton::clicked, this, &GongZhongLoginDialog::swichPanel);
    }

    auto *layout = new QHBoxLayout(footer);
    layout->setContentsMargins(20, 4, 20, 0);
    layout->setSpacing(20);
    layout->addWidget(wechatTab, 1);
    layout->addWidget(phoneTab, 1);
    return footer;
}

QWidget *GongZhongLoginDialog::buildQrPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("qrCenterWidget"));

    qrCodeLabel = pictureLabel("qrCodeLabel", panel);
    refreshingLabel = pictureLabel("refreshingLabel", panel);
    refreshingMovie = new QMovie(QStringLiteral(":/icons/icons/loading.gif"), QByteArray(), this);
    refreshingLabel->setMovie(refreshingMovie);
    refreshingLabel->hide();

    auto *hint = new QLabel(QStringLiteral("微信扫一扫"), panel);
    hint->setObjectName(QStringLiteral("qrHintLabel"));
    hint->setFont(MyContext::normalFont);
    hint->setStyleSheet(QStringLiteral("QLabel{color:#484848;}"));
    hint->setAlignment(Qt::AlignCenter);

    auto *refreshButton = pushButton(QStringLiteral("无反应?点此刷新"), "refreshButton", panel);
    refreshButton->setFlat(true);
    refreshButton->setStyleSheet(QStringLiteral("QPushButton{border:0px;background-color:none;color:#2089F6;}"
                                                "QPushButton:hover{text-decoration:underline;}"));
    connect(refreshButton, &QPushButton::clicked, this, &GongZhongLoginDialog::refreshErCode);

    // The hint and the refresh button share one row under the picture, so the whole picture area
    // fits into the small dialog too.
    auto *actions = new QHBoxLayout;
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(12);
    actions->addStretch(1);
    actions->addWidget(hint);
    actions->addWidget(refreshButton);
    actions->addStretch(1);

    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addStretch(1);
    layout->addWidget(qrCodeLabel, 0, Qt::AlignHCenter);
    layout->addWidget(refreshingLabel, 0, Qt::AlignHCenter);
    layout->addLayout(actions);
    layout->addStretch(1);
    return panel;
}

void GongZhongLoginDialog::showPanel(bool qr)
{
    qrPanel->setVisible(qr);
    phonePanel->setVisible(!qr);
    wechatTab->setStyleSheet(QLatin1String(qr ? tabChosenStyle : tabOtherStyle));
    phoneTab->setStyleSheet(QLatin1String(qr ? tabOtherStyle : tabChosenStyle));
}

void GongZhongLoginDialog::showFetching(bool fetching)
{
    qrCodeLabel->setVisible(!fetching);
    refreshingLabel->setVisible(fetching);
    if (fetching)
        refreshingMovie->start();
    else
        refreshingMovie->stop();
}

void GongZhongLoginDialog::showQrPicture(const QImage &image)
{
    QPixmap picture = QPixmap::fromImage(image);
    const QSize room = qrCodeLabel->contentsRect().size();
    if (picture.width() > room.width() || picture.height() > room.height())
        picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::FastTransformation);
    qrCodeLabel->setPixmap(picture);
}

void GongZhongLoginDialog::refreshErCode()
{
    m_flow->fetchQrCode();
}

void GongZhongLoginDialog::swichPanel()
{
    auto *tab = qobject_cast<QPushButton *>(sender());
    if (tab != wechatTab && tab != phoneTab)
        return;
    showPanel(tab == wechatTab);
}

void GongZhongLoginDialog::onTimeOut()
{
    m_flow->countdownStep();
}

void GongZhongLoginDialog::onSendVerifyCode()
{
    m_flow->sendVerifyCode(phonePanel->phoneNum());
}

void GongZhongLoginDialog::onLogin()
{
    m_flow->phoneLogin(phonePanel->phoneNum(), phonePanel->verifyCode());
}

void GongZhongLoginDialog::gongZhongQrCodeLogin()
{
    m_flow->pollQrLogin();
}

void GongZhongLoginDialog::onSignedIn()
{
    QPointer<GongZhongLoginDialog> self(this);
    emit loginSuccess();
    // Accepting closes the dialog, which deletes itself.
    if (self)
        accept();
}

void GongZhongLoginDialog::onClose()
{
    reject();
}

void GongZhongLoginDialog::reject()
{
    m_flow->stop();
    QDialog::reject();
}
