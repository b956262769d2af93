#include "core/app/logoutput.h"

// Qt already writes to standard error here.
void installLogOutput()
{
}
