#pragma once

#include <QString>

// Makes sure only one copy of the program runs: a named system semaphore guards a named
// shared-memory segment that the running copy holds until it ends.
namespace SingleInstance {

inline const char semaphoreKey[] = "RADOvu";
inline const char sharedMemoryKey[] = "TessalySoftware";

// True when this process is now the only running copy (the segment stays held until release()
// or the end of the process); false when another live copy holds it.
bool acquire(const QString &semaphoreName = QLatin1String(semaphoreKey),
             const QString &memoryName = QLatin1String(sharedMemoryKey));

// Lets the segment go; a later acquire() in any process succeeds.
void release();

} // namespace SingleInstance
