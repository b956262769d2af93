#pragma once

#include <QList>
#include <QPixmap>
#include <QString>

#include <functional>

class ProductInfo;

// An entry's icon: a file in the icon folder, read when the icon is first shown, or a picture just
// downloaded; neither when the entry has no icon.
struct CatalogIcon
{
    QString file;
    QPixmap picture;

    QPixmap load() const;
    // The file load() reads; empty when there is nothing to read.
    QString fileToRead() const { return picture.isNull() ? file : QString(); }
};

// The entries' icons, in their order. An icon name that is not a safe file name (isSafeFileName)
// means "no icon"; otherwise the icon is read from the icon folder, else downloaded there from
// `iconUrl`. A file is only checked for a picture header here; it is decoded when shown. The missing icons are all fetched at once through one network manager, so the whole
// fetch takes at most one exchange time-out. A downloaded icon stays in the folder for later starts;
// an address that failed is not asked again for ten minutes (remembered in iconFailuresPath()).
// Empty where the icon is neither present nor downloadable.
QList<CatalogIcon> loadCatalogIcons(const QList<ProductInfo *> &entries);

// Where the icon addresses that failed lately are kept: beside the icon folder.
QString iconFailuresPath();

// Walks MyContext::productInfoList in order and hands every entry with its icon to `addItem`.
void fillCatalog(const std::function<void(const ProductInfo &, const CatalogIcon &)> &addItem);
