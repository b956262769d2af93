#pragma once

#include <QLoggingCategory>

// One category per area of the program, all under "tessaly.". Debug output is off unless
// QT_LOGGING_RULES turns it on (see enableDefaultLogging()).
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
Q_DECLARE_LOGGING_CATEGORY(lcCatalog)
Q_DECLARE_LOGGING_CATEGORY(lcAccount)
Q_DECLARE_LOGGING_CATEGORY(lcShell)
