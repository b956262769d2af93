#include "core/app/singleinstance.h"

#include "core/app/singleinstance_p.h"
#include "core/base/logging.h"

#include <QSharedMemory>
#include <QSystemSemaphore>

#include <memory>

namespace {
// Static storage, so the segment is detached even when the process ends through exit().
std::unique_ptr<QSharedMemory> &heldSegment()
{
    static std::unique_ptr<QSharedMemory> segment;
    return segment;
}
} // namespace

bool SingleInstance::acquire(const QString &semaphoreName, const QString &memoryName)
{
    QSystemSemaphore semaphore(semaphoreName, 1, QSystemSemaphore::Open);
    semaphore.acquire();

    auto segment = std::make_unique<QSharedMemory>(memoryName);
    bool created = segment->create(1, QSharedMemory::ReadWrite);
    if (!created && segment->error() == QSharedMemory::AlreadyExists && removeStaleSegment(*segment)) {
        qCWarning(lcApp) << "removed a stale single-instance segment left by an ended copy";
        created = segment->create(1, QSharedMemory::ReadWrite);
    }

    semaphore.release();
    if (!created)
        return false;
    heldSegment() = std::move(segment);
    return true;
}

void SingleInstance::release()
{
    heldSegment().reset();
}
