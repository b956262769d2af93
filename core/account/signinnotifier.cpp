#include "core/account/signinnotifier.h"

#include <QCoreApplication>
#include <QPointer>

SignInNotifier::SignInNotifier(QObject *parent)
    : QObject(parent)
{
}

SignInNotifier *SignInNotifier::instance()
{
    static QPointer<SignInNotifier> notifier;
    if (!notifier)
        notifier = new SignInNotifier(QCoreApplication::instance());
    return notifier;
}

void SignInNotifier::announceSignInAfterClose()
{
    emit instance()->signedInAfterClose();
}
