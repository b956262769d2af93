#pragma once

#include <QDialog>
#include <QImage>
#include <QPoint>

class DialogHeader;
class QLabel;
class QLineEdit;
class QMovie;
class QPushButton;
class QTimer;

// Timing of the sign-in dialog. The shipped values are the defaults; tests shorten them.
struct LoginDialogTiming
{
    int pollIntervalMs = 2000; // QR sign-in poll
    int countdownIntervalMs = 1000; // one step of the "发送验证码" countdown
    int countdownStart = 60; // seconds shown when a code has been requested
    int firstFetchDelayMs = 10; // first QR code, right after the dialog is shown
};

// The sign-in dialog: a QR code to scan with the messaging app, or a phone number with an SMS code.
// Every platform exchange waits in a local event loop, so the dialog's timers and clicks run meanwhile
// and the dialog may even be closed and deleted before an exchange returns.
class GongZhongLoginDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GongZhongLoginDialog(QWidget *parent);
    ~GongZhongLoginDialog() override;

    // Timing of the dialogs created from now on.
    static void setTiming(const LoginDialogTiming &timing);
    static LoginDialogTiming timing();

    // This dialog's QR sign-in attempt: product id, "_", a UUID without braces.
    QString loginToken() const { return preLoginToken; }
    // Exchanges of this dialog that are waiting for their answer.
    int exchangesWaiting() const { return m_waiting; }
    // Where a press starts dragging the dialog (dialog coordinates, edges exclusive).
    bool inDragBand(const QPoint &pos) const;
    // The QR picture as rendered from the last fetched text (the label may show it scaled down).
    QImage qrPicture() const { return m_qrPicture; }

    // Every way of closing the dialog without a sign-in ends here (close button, Escape, the window's
    // close): both timers stop and the dialog takes no further action.
    void reject() override;

signals:
    void loginSuccess();

public slots:
    void refreshErCode();
    void swichPanel();
    void onTimeOut();
    void onSendVerifyCode();
    void onLogin();
    void gongZhongQrCodeLogin();
    void onClose();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    class Waiting;

    QWidget *buildQrPanel();
    QWidget *buildPhonePanel();
    QWidget *buildFooter();
    void showPanel(bool qrPanel);
    // Shows the rendered picture, scaled down when it does not fit the picture area.
    void showQrPicture();
    // Another dialog's sign-in, answered after that dialog was closed, ends this one too.
    void onSignedInElsewhere();
    void restoreSendCodeButton();
    // The checks both phone actions run first; false when a message was shown.
    bool checkPhoneNumber(const QString &number);
    // Ends the dialog after a sign-in of its own.
    void finishSignIn();
    void stopTimers();

    QString preLoginToken;
    QImage m_qrPicture;
    int countdown = 0;
    QTimer *countdownTimer;
    QTimer *pollTimer;
    LoginDialogTiming m_timing;

    DialogHeader *header = nullptr;
    QLabel *qrCodeLabel = nullptr;
    QLabel *refreshingLabel = nullptr;
    QMovie *refreshingMovie = nullptr;
    QWidget *qrPanel = nullptr;
    QWidget *phonePanel = nullptr;
    QPushButton *wechatTab = nullptr;
    QPushButton *phoneTab = nullptr;
    QLineEdit *phoneNumEdit = nullptr;
    QLineEdit *verifyCodeEdit = nullptr;
    QPushButton *sendCodeButton = nullptr;
    QPushButton *phoneLoginButton = nullptr;
    QLabel *messageLabel = nullptr;

    int m_waiting = 0;
    bool m_fetching = false;
    bool m_loggingIn = false;
    // Set once the dialog has been closed or has signed the user in; it takes no further action.
    bool m_finished = false;
    bool m_dragging = false;
    QPoint m_pressOffset;
};
