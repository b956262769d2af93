#include "account/logging.h"

Q_LOGGING_CATEGORY(lcAccount, "tessaly.account")
