#pragma once

// How the process ends: the shared state is freed and the single-instance segment let go.
namespace ProcessExit {

// Frees the catalog entries and the signed-in user held by MyContext; called as the process ends.
void releaseSharedState();

// Ends the process at once with the given status.
[[noreturn]] void terminate(int status);

} // namespace ProcessExit
