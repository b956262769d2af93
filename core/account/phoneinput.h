#pragma once

#include <QString>

// The two phone actions of the sign-in: asking for an SMS code needs the number only.
enum class PhoneAction { SendCode, Login };

// What stops a phone action before anything is sent: the message to show, empty when the input is
// fine. The number must have 11 characters; the login's code 6.
QString phoneInputMessage(PhoneAction action, const QString &phoneNum, const QString &verifyCode = QString());
