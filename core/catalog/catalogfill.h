#pragma once

#include <QPixmap>
#include <QString>

#include <functional>

class ProductInfo;

// The entry's icon: an icon name that is not a safe file name (isSafeFileName) means "no icon";
// otherwise read from the icon folder, else downloaded there from `iconUrl` and read
// again. A downloaded icon stays in the folder, so later starts find it without a download.
// Null when the icon is neither present nor downloadable.
QPixmap loadCatalogIcon(const ProductInfo &info);

// Walks MyContext::productInfoList in order and hands every entry with its icon to `addItem`.
void fillCatalog(const std::function<void(const ProductInfo &, const QPixmap &)> &addItem);
