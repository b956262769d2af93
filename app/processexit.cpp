#include "app/processexit.h"

#include "app/singleinstance.h"

#include <cstdio>
#include <cstdlib>

void ProcessExit::terminate(int status)
{
    SingleInstance::release();
    std::fflush(nullptr);
    std::exit(status);
}
