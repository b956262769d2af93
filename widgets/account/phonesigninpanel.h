#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// The phone panel of the sign-in dialog ("phoneCenterWidget"): the number field (digits only), the code
// field, the send-code button with its countdown, the message label and the login button "登 录".
// The dialog connects the buttons and feeds it what its sign-in flow reports.
class PhoneSignInPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int fieldHeight = 34;

    explicit PhoneSignInPanel(QWidget *parent);

    QString phoneNum() const;
    QString verifyCode() const;
    QPushButton *sendCodeButton() const { return m_sendCodeButton; }
    QPushButton *loginButton() const { return m_loginButton; }

public slots:
    void showMessage(const QString &text);
    // The send-code button, disabled, shows the seconds left.
    void showCountdown(int seconds);
    void restoreSendCodeButton();

private:
    QLineEdit *m_phoneNumEdit;
    QLineEdit *m_verifyCodeEdit;
    QPushButton *m_sendCodeButton;
    QLabel *m_messageLabel;
    QPushButton *m_loginButton;
};
