#include "core/app/processexit.h"

#include "core/app/singleinstance.h"
#include "core/base/productinfo.h"
#include "core/base/user.h"
#include "core/platform/mycontext.h"

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
