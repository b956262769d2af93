#pragma once

#include <QString>

// Shared set-up of the tests that drive MyContext against the simulator.
namespace ContextFixture {

// Points the settings store and the program's folder at private folders; false when the settings
// store would still be the user's own.
bool isolate(const QString &settingsDir, const QString &appDir);

// Deletes what deleteLater() scheduled (replaced catalog entries, users, network objects).
void releaseDeferred();

// Signed out, empty catalog, start-up defaults of the customer-service mode and the last error code.
void resetContext();

} // namespace ContextFixture
