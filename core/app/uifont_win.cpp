#include "core/app/uifont.h"

// Every supported Windows ships "Microsoft YaHei".
void installUiFontFallback()
{
}

FontConfigPreload::FontConfigPreload() = default;

FontConfigPreload::~FontConfigPreload() = default;

void FontConfigPreload::wait()
{
}
