#pragma once

#include <QString>

// Whether `name` can only name an entry directly inside the folder it is appended to: not empty,
// not "." or "..", no separator "/" or "\", no control character. Dots elsewhere ("Tessa..Pro",
// "app..png") are ordinary characters; only a separator or the exact names "." and ".." move.
bool isPlainName(const QString &name);
