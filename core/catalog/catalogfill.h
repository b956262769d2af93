#pragma once

#include <QList>
#include <QPixmap>
#include <QString>

#include <functional>

class ProductInfo;

// The entries' icons, in their order. An icon name that is not a safe file name (isSafeFileName)
// means "no icon"; otherwise the icon is read from the icon folder, else downloaded there from
// `iconUrl`. The missing icons are all fetched at once through one network manager, so the whole
// fetch takes at most one exchange time-out. A downloaded icon stays in the folder for later starts;
// an address that failed is not asked again for ten minutes (remembered in iconFailuresPath()).
// Null where the icon is neither present nor downloadable.
QList<QPixmap> loadCatalogIcons(const QList<ProductInfo *> &entries);

// Where the icon addresses that failed lately are kept: beside the icon folder.
QString iconFailuresPath();

// Walks MyContext::productInfoList in order and hands every entry with its icon to `addItem`.
void fillCatalog(const std::function<void(const ProductInfo &, const QPixmap &)> &addItem);
