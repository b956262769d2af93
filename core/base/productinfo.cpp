#include "core/base/productinfo.h"

#include "core/base/logging.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>

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
    const QJsonValue sha256 = object.value(QLatin1String("sha256"));
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{64}$"));
    if (sha256.isString() && hex.match(sha256.toString().trimmed()).hasMatch()) {
        info->sha256 = sha256.toString().trimmed().toLower();
    } else if (!sha256.isUndefined() && !sha256.isNull() && sha256 != QJsonValue(QString())) {
        // Shown shortened: the value came from the network and may be anything.
        const QString shown = sha256.isString() ? sha256.toString().left(80) : QStringLiteral("(not a string)");
        qCWarning(lcPlatform) << "Ignoring a malformed sha256 of" << info->pathName.left(80) << ":" << shown;
    }
    return info;
}
