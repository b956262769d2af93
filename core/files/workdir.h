#pragma once

#include <QString>

// Creates a work folder of its own for one download: `base` when nothing of that name exists, else
// the first free "base_1", "base_2", ... Creating the folder is the claim: it is made create-only,
// as mkdir fails on an existing name, so of two downloads that ask for the same name (two presses
// within one millisecond, in one process or two) each gets its own folder, and whatever already
// stands there is never touched. Missing parents are created. Empty when no folder could be made.
QString claimWorkDir(const QString &base);
