#pragma once

#include <QImage>
#include <QObject>
#include <QString>

class QTimer;

// Timing of the sign-in flows. The shipped values are the defaults; tests shorten them.
struct SignInTiming
{
    int pollIntervalMs = 2000; // QR sign-in poll
    int countdownIntervalMs = 1000; // one step of the code countdown
    int countdownStart = 60; // seconds counted down once a code has been requested
    int firstFetchDelayMs = 10; // first QR code, right after start()
};

// One sign-in attempt: its QR code and the poll that waits for the scan, the SMS code with its
// countdown, and the phone login. Every exchange waits in a local event loop, so timers and the owner's
// slots run meanwhile; the owner may stop the flow, or delete it, before an exchange returns. A poll
// that falls due while any exchange of the flow waits is skipped, and a fetch or a login asked for while
// another one of its kind waits is dropped, so a slow platform never piles up requests. A sign-in
// answered after stop() or the deletion still counts and is announced through SignInNotifier; every
// other running flow then stops.
class SignInFlow : public QObject
{
    Q_OBJECT
public:
    explicit SignInFlow(QObject *parent);
    ~SignInFlow() override;

    // Timing of the flows created from now on.
    static void setTiming(const SignInTiming &timing);
    static SignInTiming timing();

    // This attempt's QR sign-in token: product id, "_", a UUID without braces.
    QString loginToken() const { return m_preLoginToken; }
    // The QR picture rendered from the last fetched text; null until one has been fetched.
    QImage qrPicture() const { return m_qrPicture; }

public slots:
    // Starts the poll and fetches the first QR code right after.
    void start();
    void fetchQrCode();
    void pollQrLogin();
    void sendVerifyCode(const QString &phoneNum);
    void phoneLogin(const QString &phoneNum, const QString &verifyCode);
    void countdownStep();
    // Both timers stop and the flow takes no further action; answers still waiting are only announced
    // when they sign the user in.
    void stop();

signals:
    void fetchStarted();
    void qrCodeFetched(const QImage &picture);
    // After every fetch, whether or not it brought a new picture.
    void fetchEnded();
    void countdownChanged(int seconds);
    void countdownEnded();
    // The message for the user; empty when an earlier one is to be cleared.
    void messageChanged(const QString &text);
    void signedIn();
    // Another flow signed the user in after it had been stopped; this one has stopped too.
    void signedInElsewhere();

private:
    class Waiting;

    void endCountdown();
    void finishSignIn();
    void onSignedInAfterClose();

    QString m_preLoginToken;
    QImage m_qrPicture;
    SignInTiming m_timing;
    QTimer *m_countdownTimer;
    QTimer *m_pollTimer;
    int m_countdown = 0;
    int m_waiting = 0;
    bool m_fetching = false;
    bool m_loggingIn = false;
    bool m_finished = false;
};
