#include "widgets/account/phonesigninpanel.h"

#include "core/platform/mycontext.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegExpValidator>

namespace {

const char sendCodeReadyStyle[] =
    "QPushButton{color:#484848;border:0px; background-color:white;border-bottom:2px solid white;}"
    "QPushButton:hover{color:#2089F6;border-bottom:2px solid #2089F6;}";
const char sendCodeCountingStyle[] =
    "QPushButton{color:#BFB8B8;border:0px; background-color:white;border-bottom:2px solid white;}";

QLineEdit *field(const char *name, const QString &placeholder, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(placeholder);
    edit->setFont(MyContext::normalFont);
    edit->setFixedHeight(PhoneSignInPanel::fieldHeight);
    edit->setStyleSheet(QStringLiteral("QLineEdit{border:1px solid #007BFF;border-radius:5px;}"));
    return edit;
}

QPushButton *button(const QString &text, const char *name, int height, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setFont(MyContext::normalFont);
    button->setCursor(Qt::PointingHandCursor);
    button->setFixedHeight(height);
    return button;
}

QLabel *captionLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(MyContext::normalFont);
    label->setStyleSheet(QStringLiteral("QLabel{color:#484848;}"));
    return label;
}

} // namespace

PhoneSignInPanel::PhoneSignInPanel(QWidget *parent)
    : QWidget(parent)
    , m_phoneNumEdit(field("phoneNumEdit", QStringLiteral("请输入手机号"), this))
    , m_verifyCodeEdit(field("verifyCodeEdit", QStringLiteral("请输入验证码"), this))
    , m_sendCodeButton(button(QStringLiteral("发送验证码"), "sendCodeButton", fieldHeight, this))
    , m_messageLabel(new QLabel(this))
    , m_loginButton(button(QStringLiteral("登 录"), "phoneLoginButton", fieldHeight + 6, this))
{
    setObjectName(QStringLiteral("phoneCenterWidget"));
    // A QWidget subclass paints its style sheet's border only when asked to.
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("QWidget#phoneCenterWidget{border:0px;border-top:1px solid #E4EFFA;}"));

    m_phoneNumEdit->setValidator(new QRegExpValidator(QRegExp(QStringLiteral("[0-9]+$")), m_phoneNumEdit));
    m_sendCodeButton->setStyleSheet(QLatin1String(sendCodeReadyStyle));

    m_messageLabel->setObjectName(QStringLiteral("messageLabel"));
    m_messageLabel->setFont(MyContext::normalFont);
    m_messageLabel->setWordWrap(true);
    m_messageLabel->setStyleSheet(QStringLiteral("QLabel{color:red;}"));

    m_loginButton->setStyleSheet(
        QStringLiteral("QPushButton{color:white;border:0px; background-color:#027DF0;border-bottom:2px solid #007BFF;"
                       "border-radius:5px;}"));

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(20, 25, 20, 10);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(14);
    layout->addWidget(captionLabel(QStringLiteral("手机号："), this), 0, 0);
    layout->addWidget(m_phoneNumEdit, 0, 1, 1, 2);
    layout->addWidget(captionLabel(QStringLiteral("验证码："), this), 1, 0);
    layout->addWidget(m_verifyCodeEdit, 1, 1);
    layout->addWidget(m_sendCodeButton, 1, 2);
    layout->addWidget(m_messageLabel, 2, 0, 1, 3);
    layout->addWidget(m_loginButton, 3, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(4, 1);
}

QString PhoneSignInPanel::phoneNum() const
{
    return m_phoneNumEdit->text();
}

QString PhoneSignInPanel::verifyCode() const
{
    return m_verifyCodeEdit->text();
}

void PhoneSignInPanel::showMessage(const QString &text)
{
    m_messageLabel->setText(text);
}

void PhoneSignInPanel::showCountdown(int seconds)
{
    if (m_sendCodeButton->isEnabled()) {
        m_sendCodeButton->setEnabled(false);
        m_sendCodeButton->setStyleSheet(QLatin1String(sendCodeCountingStyle));
    }
    m_sendCodeButton->setText(QString::number(seconds) + QLatin1Char('S'));
}

void PhoneSignInPanel::restoreSendCodeButton()
{
    m_sendCodeButton->setStyleSheet(QLatin1String(sendCodeReadyStyle));
    m_sendCodeButton->setEnabled(true);
    m_sendCodeButton->setText(QStringLiteral("发送验证码"));
}
