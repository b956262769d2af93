#include "core/app/singleinstance_p.h"

// Windows frees named sections with their last handle, so a segment never outlives its owner.
bool SingleInstance::removeStaleSegment(QSharedMemory &)
{
    return false;
}
