#include "app/startupnotice.h"

#include "platform/mycontext.h"
#include "shell/mydialog.h"

MyDialog *showExpiredLoginNotice()
{
    if (MyContext::lastErrorCode != MyContext::loginExpiredCode)
        return nullptr;
    auto *notice = new MyDialog(QStringLiteral("您的登录已经过期，请您重新登录！"));
    notice->show();
    return notice;
}
