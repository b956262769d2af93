#include "core/base/logging.h"

Q_LOGGING_CATEGORY(lcApp, "tessaly.app")
Q_LOGGING_CATEGORY(lcPlatform, "tessaly.platform")
Q_LOGGING_CATEGORY(lcCatalog, "tessaly.catalog")
Q_LOGGING_CATEGORY(lcAccount, "tessaly.account")
Q_LOGGING_CATEGORY(lcShell, "tessaly.shell")
