#include "core/catalog/catalogfill.h"

#include "core/base/logging.h"
#include "core/base/productinfo.h"
#include "core/files/filename.h"
#include "core/platform/mycontext.h"

QPixmap loadCatalogIcon(const ProductInfo &info)
{
    if (!isSafeFileName(info.iconName)) {
        qCWarning(lcCatalog) << "Ignoring icon name:" << info.iconName << ",product:" << info.productId;
        return QPixmap();
    }

    const QString iconPath = MyContext::iconImgDir() + QLatin1Char('/') + info.iconName;
    QPixmap pixmap(iconPath);
    if (!pixmap.isNull())
        return pixmap;

    // An empty address cannot be fetched; skip the request instead of letting it fail.
    if (info.iconUrl.isEmpty())
        return pixmap;

    if (MyContext::downloadImage(info.iconUrl, iconPath))
        pixmap.load(iconPath);
    return pixmap;
}

void fillCatalog(const std::function<void(const ProductInfo &, const QPixmap &)> &addItem)
{
    qCDebug(lcCatalog) << "MyContext::productInfoList::size============:" << MyContext::productInfoList.size();
    // Copy the list: the callback must not be able to invalidate the iteration.
    const QList<ProductInfo *> entries = MyContext::productInfoList;
    for (const ProductInfo *info : entries) {
        if (!info)
            continue;
        addItem(*info, loadCatalogIcon(*info));
    }
}
