#include "catalog/logging.h"

Q_LOGGING_CATEGORY(lcCatalog, "tessaly.catalog")
