#pragma once

class QSharedMemory;

namespace SingleInstance {

// Drops a segment left behind by a copy that ended without detaching (killed or crashed), where
// the system keeps such segments alive. Returns true when the segment was stale and is gone now.
bool removeStaleSegment(QSharedMemory &segment);

} // namespace SingleInstance
