#include "core/app/singleinstance_p.h"

#include <QSharedMemory>

// System V segments outlive their processes. Attaching and detaching again lets Qt remove the
// segment when nobody else is attached, which is the case only when its owner has ended.
bool SingleInstance::removeStaleSegment(QSharedMemory &segment)
{
    QSharedMemory probe(segment.key());
    if (!probe.attach(QSharedMemory::ReadOnly))
        return probe.error() == QSharedMemory::NotFound;
    probe.detach();

    QSharedMemory check(segment.key());
    if (check.attach(QSharedMemory::ReadOnly)) {
        check.detach();
        return false; // still held by a live copy
    }
    return true;
}
