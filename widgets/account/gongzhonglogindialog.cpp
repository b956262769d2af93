#include "widgets/account/gongzhonglogindialog.h"

#include "widgets/common/dialogheader.h"
#include "core/base/logging.h"
#include "core/account/qrrender.h"
#include "core/account/signinnotifier.h"
#include "core/platform/uisize.h"
#include "core/platform/mycontext.h"
#include "widgets/common/closebtn.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMovie>
#include <QPointer>
#include <QPushButton>
#include <QRegExpValidator>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>

namespace {

const char tabChosenStyle[] =
    "QPushButton{padding-bottom:10px;color:#2089F6;border:0px;border-bottom:2px solid #2089F6;"
    "background-color:white;}";
const char tabOtherStyle[] = "QPushButton{padding-bottom:10px;color:#484848;border:0px;background-color:white;}";
const char sendCodeReadyStyle[] =
    "QPushButton{color:#484848;border:0px; background-color:white;border-bottom:2px solid white;}"
    "QPushButton:hover{color:#2089F6;border-bottom:2px solid #2089F6;}";
const char sendCodeCountingStyle[] =
    "QPushButton{color:#BFB8B8;border:0px; background-color:white;border-bottom:2px solid white;}";
const char fieldStyle[] = "QLineEdit{border:1px solid #007BFF;border-radius:5px;}";
const char panelTopBorderStyle[] = "{border:0px;border-top:1px solid #E4EFFA;}";

const int fieldHeight = 34;
// Presses in the top band, left of the close button, drag the dialog.
const int dragBandHeight = 45;
const int dragBandRightMargin = 50;

// The picture area of the QR panel: the preset size, narrowed to the dialog's inner width where the
// preset is wider than the dialog (small screens).
QSize qrPictureArea()
{
    const QSize preset = UiSize::qrCodeImage();
    return QSize(qMin(preset.width(), UiSize::signInDialog().width() - 2), preset.height());
}

LoginDialogTiming &currentTiming()
{
    static LoginDialogTiming timing;
    return timing;
}

QLabel *captionLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(MyContext::normalFont);
    label->setStyleSheet(QStringLiteral("QLabel{color:#484848;}"));
    return label;
}

} // namespace

// Counts one exchange of the dialog while it waits. The dialog may be deleted before the answer
// arrives; the guard tells, and nothing of the dialog is touched then.
class GongZhongLoginDialog::Waiting
{
public:
    explicit Waiting(GongZhongLoginDialog *dialog, bool GongZhongLoginDialog::*busy = nullptr)
        : m_dialog(dialog)
        , m_busy(busy)
    {
        ++dialog->m_waiting;
        if (m_busy)
            dialog->*m_busy = true;
    }
    ~Waiting()
    {
        if (!m_dialog)
            return;
        --m_dialog->m_waiting;
        if (m_busy)
            m_dialog.data()->*m_busy = false;
    }
    Waiting(const Waiting &) = delete;
    Waiting &operator=(const Waiting &) = delete;

    bool dialogGone() const { return m_dialog.isNull(); }

private:
    QPointer<GongZhongLoginDialog> m_dialog;
    bool GongZhongLoginDialog::*m_busy;
};

GongZhongLoginDialog::GongZhongLoginDialog(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::CustomizeWindowHint)
    , countdownTimer(new QTimer(this))
    , pollTimer(new QTimer(this))
    , m_timing(currentTiming())
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
    phonePanel = buildPhonePanel();
    centerLayout->addWidget(qrPanel, 1);
    centerLayout->addWidget(phonePanel, 1);
    centerLayout->addWidget(footer);

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
    phoneLoginButton->setDefault(true);
    showPanel(true);

    preLoginToken = MyContext::productId + QLatin1Char('_') +
        QUuid::createUuid().toString().remove(QLatin1Char('{')).remove(QLatin1Char('}'));

    countdownTimer->setInterval(m_timing.countdownIntervalMs);
    connect(countdownTimer, &QTimer::timeout, this, &GongZhongLoginDialog::onTimeOut);
    connect(pollTimer, &QTimer::timeout, this, &GongZhongLoginDialog::gongZhongQrCodeLogin);
    connect(SignInNotifier::instance(), &SignInNotifier::signedInAfterClose, this,
            &GongZhongLoginDialog::onSignedInElsewhere);
    pollTimer->start(m_timing.pollIntervalMs);
    QTimer::singleShot(m_timing.firstFetchDelayMs, this, &GongZhongLoginDialog::refreshErCode);
}

GongZhongLoginDialog::~GongZhongLoginDialog()
{
    qCDebug(lcAccount) << "login dialog released, exchanges still waiting:" << m_waiting;
}

void GongZhongLoginDialog::setTiming(const LoginDialogTiming &timing)
{
    currentTiming() = timing;
}

LoginDialogTiming GongZhongLoginDialog::timing()
{
    return currentTiming();
}

QWidget *GongZhongLoginDialog::buildFooter()
{
    auto *footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("centerFooterWidget"));
    footer->setStyleSheet(QLatin1String("QWidget#centerFooterWidget") + QLatin1String(panelTopBorderStyle));

    wechatTab = new QPushButton(QStringLiteral("微信登录"), footer);
    wechatTab->setObjectName(QStringLiteral("wechatTab"));
    phoneTab = new QPushButton(QStringLiteral("手机号登录"), footer);
    phoneTab->setObjectName(QStringLiteral("phoneTab"));
    for (QPushButton *tab : {wechatTab, phoneTab}) {
        tab->setFont(MyContext::normalFont);
        tab->setCursor(Qt::PointingHandCursor);
        tab->setFixedHeight(fieldHeight + 10);
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

    const QSize pictureArea = qrPictureArea();
    qrCodeLabel = new QLabel(panel);
    qrCodeLabel->setObjectName(QStringLiteral("qrCodeLabel"));
    qrCodeLabel->setAlignment(Qt::AlignCenter);
    qrCodeLabel->setFixedSize(pictureArea);

    refreshingLabel = new QLabel(panel);
    refreshingLabel->setObjectName(QStringLiteral("refreshingLabel"));
    refreshingLabel->setAlignment(Qt::AlignCenter);
    refreshingLabel->setFixedSize(pictureArea);
    refreshingMovie = new QMovie(QStringLiteral(":/icons/icons/loading.gif"), QByteArray(), this);
    refreshingLabel->setMovie(refreshingMovie);
    refreshingLabel->hide();

    auto *hint = captionLabel(QStringLiteral("微信扫一扫"), panel);
    hint->setObjectName(QStringLiteral("qrHintLabel"));
    hint->setAlignment(Qt::AlignCenter);

    auto *refreshButton = new QPushButton(QStringLiteral("无反应?点此刷新"), panel);
    refreshButton->setObjectName(QStringLiteral("refreshButton"));
    refreshButton->setFlat(true);
    refreshButton->setFont(MyContext::normalFont);
    refreshButton->setCursor(Qt::PointingHandCursor);
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

QWidget *GongZhongLoginDialog::buildPhonePanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("phoneCenterWidget"));
    panel->setStyleSheet(QLatin1String("QWidget#phoneCenterWidget") + QLatin1String(panelTopBorderStyle));

    phoneNumEdit = new QLineEdit(panel);
    phoneNumEdit->setObjectName(QStringLiteral("phoneNumEdit"));
    phoneNumEdit->setPlaceholderText(QStringLiteral("请输入手机号"));
    phoneNumEdit->setValidator(new QRegExpValidator(QRegExp(QStringLiteral("[0-9]+$")), phoneNumEdit));

    verifyCodeEdit = new QLineEdit(panel);
    verifyCodeEdit->setObjectName(QStringLiteral("verifyCodeEdit"));
    verifyCodeEdit->setPlaceholderText(QStringLiteral("请输入验证码"));

    for (QLineEdit *field : {phoneNumEdit, verifyCodeEdit}) {
        field->setFont(MyContext::normalFont);
        field->setFixedHeight(fieldHeight);
        field->setStyleSheet(QLatin1String(fieldStyle));
    }

    sendCodeButton = new QPushButton(QStringLiteral("发送验证码"), panel);
    sendCodeButton->setObjectName(QStringLiteral("sendCodeButton"));
    sendCodeButton->setFont(MyContext::normalFont);
    sendCodeButton->setCursor(Qt::PointingHandCursor);
    sendCodeButton->setFixedHeight(fieldHeight);
    sendCodeButton->setStyleSheet(QLatin1String(sendCodeReadyStyle));
    connect(sendCodeButton, &QPushButton::clicked, this, &GongZhongLoginDialog::onSendVerifyCode);

    messageLabel = new QLabel(panel);
    messageLabel->setObjectName(QStringLiteral("messageLabel"));
    messageLabel->setFont(MyContext::normalFont);
    messageLabel->setWordWrap(true);
    messageLabel->setStyleSheet(QStringLiteral("QLabel{color:red;}"));

    phoneLoginButton = new QPushButton(QStringLiteral("登 录"), panel);
    phoneLoginButton->setObjectName(QStringLiteral("phoneLoginButton"));
    phoneLoginButton->setFont(MyContext::normalFont);
    phoneLoginButton->setCursor(Qt::PointingHandCursor);
    phoneLoginButton->setFixedHeight(fieldHeight + 6);
    phoneLoginButton->setStyleSheet(
        QStringLiteral("QPushButton{color:white;border:0px; background-color:#027DF0;border-bottom:2px solid #007BFF;"
                       "border-radius:5px;}"));
    connect(phoneLoginButton, &QPushButton::clicked, this, &GongZhongLoginDialog::onLogin);

    auto *layout = new QGridLayout(panel);
    layout->setContentsMargins(20, 25, 20, 10);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(14);
    layout->addWidget(captionLabel(QStringLiteral("手机号："), panel), 0, 0);
    layout->addWidget(phoneNumEdit, 0, 1, 1, 2);
    layout->addWidget(captionLabel(QStringLiteral("验证码："), panel), 1, 0);
    layout->addWidget(verifyCodeEdit, 1, 1);
    layout->addWidget(sendCodeButton, 1, 2);
    layout->addWidget(messageLabel, 2, 0, 1, 3);
    layout->addWidget(phoneLoginButton, 3, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(4, 1);
    return panel;
}

void GongZhongLoginDialog::showPanel(bool qr)
{
    qrPanel->setVisible(qr);
    phonePanel->setVisible(!qr);
    wechatTab->setStyleSheet(QLatin1String(qr ? tabChosenStyle : tabOtherStyle));
    phoneTab->setStyleSheet(QLatin1String(qr ? tabOtherStyle : tabChosenStyle));
}

bool GongZhongLoginDialog::inDragBand(const QPoint &pos) const
{
    return pos.x() > 0 && pos.x() < width() - dragBandRightMargin && pos.y() > 0 && pos.y() < dragBandHeight;
}

void GongZhongLoginDialog::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && inDragBand(event->pos())) {
        qCDebug(lcAccount) << "X:" << event->pos().x() << ",Y:" << event->pos().y();
        m_dragging = true;
        m_pressOffset = event->globalPos() - pos();
    }
    QDialog::mousePressEvent(event);
}

void GongZhongLoginDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPos() - m_pressOffset);
    QDialog::mouseMoveEvent(event);
}

void GongZhongLoginDialog::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}

void GongZhongLoginDialog::refreshErCode()
{
    // One fetch at a time: a second press while the first waits would only pile up requests.
    if (m_finished || m_fetching)
        return;
    qrCodeLabel->hide();
    refreshingLabel->show();
    refreshingMovie->start();

    const QString token = preLoginToken;
    bool ok = false;
    QString text;
    {
        Waiting waiting(this, &GongZhongLoginDialog::m_fetching);
        text = MyContext::fetchQrCode(token, &ok);
        if (waiting.dialogGone())
            return;
    }

    if (!ok) {
        qCWarning(lcAccount) << "qr code not fetched, the picture stays";
    } else {
        const QImage image = renderQrCode(text);
        if (!image.isNull()) {
            m_qrPicture = image;
            showQrPicture();
        }
    }
    refreshingMovie->stop();
    refreshingLabel->hide();
    qrCodeLabel->show();
}

void GongZhongLoginDialog::showQrPicture()
{
    QPixmap picture = QPixmap::fromImage(m_qrPicture);
    const QSize room = qrCodeLabel->contentsRect().size();
    if (picture.width() > room.width() || picture.height() > room.height())
        picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::FastTransformation);
    qrCodeLabel->setPixmap(picture);
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
    countdown -= 1;
    sendCodeButton->setText(QString::number(countdown) + QLatin1Char('S'));
    if (countdown < 1)
        restoreSendCodeButton();
}

void GongZhongLoginDialog::restoreSendCodeButton()
{
    countdownTimer->stop();
    sendCodeButton->setStyleSheet(QLatin1String(sendCodeReadyStyle));
    sendCodeButton->setEnabled(true);
    sendCodeButton->setText(QStringLiteral("发送验证码"));
}

bool GongZhongLoginDialog::checkPhoneNumber(const QString &number)
{
    if (number.isEmpty()) {
        messageLabel->setText(QStringLiteral("请输入手机号！"));
        return false;
    }
    if (number.length() != 11) {
        messageLabel->setText(QStringLiteral("您输入的手机号格式有误！"));
        return false;
    }
    return true;
}

void GongZhongLoginDialog::onSendVerifyCode()
{
    if (m_finished)
        return;
    const QString number = phoneNumEdit->text();
    if (!checkPhoneNumber(number))
        return;
    messageLabel->clear();

    countdown = m_timing.countdownStart;
    countdownTimer->start(m_timing.countdownIntervalMs);
    sendCodeButton->setEnabled(false);
    sendCodeButton->setText(QString::number(countdown) + QLatin1Char('S'));
    sendCodeButton->setStyleSheet(QLatin1String(sendCodeCountingStyle));

    QString message;
    {
        Waiting waiting(this);
        message = MyContext::sendVerifyCode(number);
        if (waiting.dialogGone())
            return;
    }
    if (message.isEmpty() || m_finished)
        return;
    messageLabel->setText(message);
    restoreSendCodeButton();
}

void GongZhongLoginDialog::onLogin()
{
    // A second press while the login waits would send the same login again.
    if (m_finished || m_loggingIn)
        return;
    const QString number = phoneNumEdit->text();
    if (!checkPhoneNumber(number))
        return;
    const QString code = verifyCodeEdit->text();
    if (code.isEmpty()) {
        messageLabel->setText(QStringLiteral("请输入验证码！"));
        return;
    }
    if (code.length() != 6) {
        messageLabel->setText(QStringLiteral("您输入的验证码有误！"));
        return;
    }
    messageLabel->clear();

    QString result;
    {
        Waiting waiting(this, &GongZhongLoginDialog::m_loggingIn);
        result = MyContext::phoneLogin(number, code);
        if (waiting.dialogGone()) {
            if (result.isEmpty())
                SignInNotifier::announceSignInAfterClose();
            return;
        }
    }
    if (!result.isEmpty()) {
        if (!m_finished)
            messageLabel->setText(result);
        return;
    }
    if (m_finished)
        SignInNotifier::announceSignInAfterClose();
    else
        finishSignIn();
}

void GongZhongLoginDialog::gongZhongQrCodeLogin()
{
    if (m_finished)
        return;
    // Polls never overlap other exchanges of this dialog, so a slow platform cannot pile them up.
    if (m_waiting > 0) {
        qCDebug(lcAccount) << "qr login poll skipped, an exchange is still waiting";
        return;
    }

    const QString token = preLoginToken;
    bool signedIn = false;
    {
        Waiting waiting(this);
        signedIn = MyContext::qrCodeLogin(token);
        if (waiting.dialogGone()) {
            if (signedIn)
                SignInNotifier::announceSignInAfterClose();
            return;
        }
    }
    if (!signedIn)
        return;
    if (m_finished)
        SignInNotifier::announceSignInAfterClose();
    else
        finishSignIn();
}

void GongZhongLoginDialog::stopTimers()
{
    countdownTimer->stop();
    pollTimer->stop();
}

void GongZhongLoginDialog::finishSignIn()
{
    m_finished = true;
    QPointer<GongZhongLoginDialog> self(this);
    emit loginSuccess();
    if (!self)
        return;
    stopTimers();
    // Accepting closes the dialog, which deletes itself.
    accept();
}

void GongZhongLoginDialog::onClose()
{
    reject();
}

void GongZhongLoginDialog::reject()
{
    m_finished = true;
    stopTimers();
    QDialog::reject();
}

void GongZhongLoginDialog::onSignedInElsewhere()
{
    if (m_finished)
        return;
    qCDebug(lcAccount) << "signed in through an earlier dialog, this one closes";
    onClose();
}
