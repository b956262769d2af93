#pragma once

#include <QPixmap>
#include <QString>

#include <functional>

class ProductInfo;

// Whether `iconName` names a file directly inside the icon folder: not empty, not "." or "..",
// no folder separator, no control character ("app..png" is fine). Any other name is treated as
// "no icon file" and never downloaded.
bool isSafeIconName(const QString &iconName);

// The entry's icon: read from the icon folder, else downloaded there from `iconUrl` and read
// again. A downloaded icon stays in the folder, so later starts find it without a download.
// Null when the icon is neither present nor downloadable.
QPixmap loadCatalogIcon(const ProductInfo &info);

// Walks MyContext::productInfoList in order and hands every entry with its icon to `addItem`.
void fillCatalog(const std::function<void(const ProductInfo &, const QPixmap &)> &addItem);
