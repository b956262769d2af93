#include "widgets/app/startupnotice.h"

#include "core/platform/mycontext.h"
#include "widgets/common/mydialog.h"

MyDialog *showExpiredLoginNotice()
{
    if (MyContext::lastErrorCode != MyContext::loginExpiredCode)
        return nullptr;
    auto *notice = new MyDialog(QStringLiteral("您的登录已经过期，请您重新登录！"));
    notice->show();
    return notice;
}
