#pragma once

#include <QObject>

// Outlives the sign-in dialogs. A sign-in whose answer arrives after its dialog was closed is announced
// here, so whoever shows the signed-in user still learns about it.
class SignInNotifier : public QObject
{
    Q_OBJECT
public:
    // The one notifier, owned by the application object.
    static SignInNotifier *instance();
    // Called when a sign-in completed after its dialog had been closed.
    static void announceSignInAfterClose();

signals:
    void signedInAfterClose();

private:
    explicit SignInNotifier(QObject *parent);
};
