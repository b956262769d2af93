#include "core/app/uifont.h"

// Every supported Windows ships "Microsoft YaHei".
void installUiFontFallback()
{
}
