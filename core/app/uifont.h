#pragma once

// The interface is designed around the family "Microsoft YaHei". Where the system lacks it,
// fonts asking for it fall back to an installed Simplified Chinese family instead of a
// Latin-only face with borrowed Chinese glyphs. Call once, before any widget exists.
void installUiFontFallback();
