#include "core/base/logging.h"

// Release builds write warnings and information only; QT_LOGGING_RULES (for example
// "tessaly.*.debug=true") turns the debug lines on.
#ifdef QT_NO_DEBUG
#define TESSALY_LOG_LEVEL QtInfoMsg
#else
#define TESSALY_LOG_LEVEL QtDebugMsg
#endif

Q_LOGGING_CATEGORY(lcApp, "tessaly.app", TESSALY_LOG_LEVEL)
Q_LOGGING_CATEGORY(lcPlatform, "tessaly.platform", TESSALY_LOG_LEVEL)
Q_LOGGING_CATEGORY(lcCatalog, "tessaly.catalog", TESSALY_LOG_LEVEL)
Q_LOGGING_CATEGORY(lcAccount, "tessaly.account", TESSALY_LOG_LEVEL)
Q_LOGGING_CATEGORY(lcShell, "tessaly.shell", TESSALY_LOG_LEVEL)
