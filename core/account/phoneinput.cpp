#include "core/account/phoneinput.h"

QString phoneInputMessage(PhoneAction action, const QString &phoneNum, const QString &verifyCode)
{
    if (phoneNum.isEmpty())
        return QStringLiteral("请输入手机号！");
    if (phoneNum.length() != 11)
        return QStringLiteral("您输入的手机号格式有误！");
    if (action == PhoneAction::SendCode)
        return QString();
    if (verifyCode.isEmpty())
        return QStringLiteral("请输入验证码！");
    if (verifyCode.length() != 6)
        return QStringLiteral("您输入的验证码有误！");
    return QString();
}
