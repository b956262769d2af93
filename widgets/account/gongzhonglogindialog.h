#pragma once

#include <QDialog>

class DialogHeader;
class PhoneSignInPanel;
class QLabel;
class QMovie;
class QPushButton;
class SignInFlow;

// The sign-in dialog: a QR code to scan with the messaging app, or a phone number with an SMS code.
// It shows what its SignInFlow does and hands it the user's actions; the flow's exchanges wait in local
// event loops, so the dialog may be closed, and deleted, while one of them waits.
class GongZhongLoginDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GongZhongLoginDialog(QWidget *parent);

    // The sign-in attempt this dialog shows; it lives as long as the dialog.
    SignInFlow *flow() const { return m_flow; }

    // Every way of closing the dialog without a sign-in ends here (close button, Escape, the window's
    // close): the flow stops and the dialog takes no further action.
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

private:
    QWidget *buildQrPanel();
    QWidget *buildFooter();
    void showPanel(bool qrPanel);
    // While a QR code is fetched, the refreshing animation takes the picture's place.
    void showFetching(bool fetching);
    // Shows the picture, scaled down when it does not fit the picture area.
    void showQrPicture(const QImage &picture);
    void onSignedIn();

    SignInFlow *m_flow;
    DialogHeader *header = nullptr;
    QLabel *qrCodeLabel = nullptr;
    QLabel *refreshingLabel = nullptr;
    QMovie *refreshingMovie = nullptr;
    QWidget *qrPanel = nullptr;
    PhoneSignInPanel *phonePanel = nullptr;
    QPushButton *wechatTab = nullptr;
    QPushButton *phoneTab = nullptr;
};
