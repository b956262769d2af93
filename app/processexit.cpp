#include "app/processexit.h"

#include "account/user.h"
#include "app/singleinstance.h"
#include "catalog/productinfo.h"
#include "platform/mycontext.h"

#include <cstdio>
#include <cstdlib>

void ProcessExit::releaseSharedState()
{
    // Nothing runs after this, so the objects go at once rather than through the event loop.
    qDeleteAll(MyContext::productInfoList);
    MyContext::productInfoList.clear();
    delete MyContext::user;
    MyContext::user = nullptr;
}

void ProcessExit::terminate(int status)
{
    releaseSharedState();
    SingleInstance::release();
    std::fflush(nullptr);
    std::exit(status);
}
