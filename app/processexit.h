#pragma once

// Ends the process at once with the given status, letting go of the single-instance segment first.
namespace ProcessExit {

[[noreturn]] void terminate(int status);

} // namespace ProcessExit
