#include "core/base/productinfo.h"

#include <QJsonObject>
#include <QJsonValue>

ProductInfo::ProductInfo(QObject *parent)
    : QObject(parent)
{
}

ProductInfo *ProductInfo::fromJson(const QJsonObject &object)
{
    auto *info = new ProductInfo;
    info->iconUrl = object.value(QLatin1String("iconUrl")).toString();
    info->iconName = object.value(QLatin1String("iconName")).toString();
    info->downloadUrl = object.value(QLatin1String("downloadUrl")).toString();
    info->zhName = object.value(QLatin1String("zhName")).toString();
    info->zhDesc = object.value(QLatin1String("zhDesc")).toString();
    info->version = object.value(QLatin1String("version")).toString();
    info->pathName = object.value(QLatin1String("pathName")).toString();
    info->productId = object.value(QLatin1String("productId")).toString();
    return info;
}
