#include "core/catalog/catalogfill.h"

#include "core/base/logging.h"
#include "core/base/productinfo.h"
#include "core/files/filename.h"
#include "core/files/imagefile.h"
#include "core/platform/mycontext.h"
#include "core/platform/platformexchange.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSaveFile>

#include <memory>
#include <vector>

namespace {

constexpr qint64 failureMemoryMs = 10 * 60 * 1000;

// Icon addresses that failed less than ten minutes ago, with the time of the failure. A time in the
// future (the clock was set back) does not count. *stale is set when the file holds entries that no
// longer count.
QHash<QString, qint64> recentFailures(qint64 now, bool *stale)
{
    QHash<QString, qint64> failures;
    QFile file(iconFailuresPath());
    if (!file.open(QIODevice::ReadOnly))
        return failures;
    const QJsonObject stored = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = stored.constBegin(); it != stored.constEnd(); ++it) {
        const auto at = static_cast<qint64>(it.value().toDouble());
        if (at <= now && now - at < failureMemoryMs)
            failures.insert(it.key(), at);
    }
    *stale = failures.size() != stored.size();
    return failures;
}

void storeFailures(const QHash<QString, qint64> &failures)
{
    if (failures.isEmpty()) {
        QFile::remove(iconFailuresPath());
        return;
    }
    QJsonObject stored;
    for (auto it = failures.constBegin(); it != failures.constEnd(); ++it)
        stored.insert(it.key(), static_cast<double>(it.value()));
    QSaveFile file(iconFailuresPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(stored).toJson(QJsonDocument::Compact)) < 0 ||
        !file.commit())
        qCWarning(lcCatalog) << "Failed to write file:" << iconFailuresPath();
}

} // namespace

QPixmap CatalogIcon::load() const
{
    return fileToRead().isEmpty() ? picture : readPixmapFile(file);
}

QString iconFailuresPath()
{
    return MyContext::iconImgDir() + QStringLiteral("-failures.json");
}

QList<CatalogIcon> loadCatalogIcons(const QList<ProductInfo *> &entries)
{
    QList<CatalogIcon> icons;
    QStringList missing; // icon paths to fetch, in catalog order
    QHash<QString, QString> addresses; // icon path -> address
    QHash<QString, QList<int>> waiting; // icon path -> the entries showing it
    const QString folder = MyContext::iconImgDir() + QLatin1Char('/');
    for (const ProductInfo *info : entries) {
        icons.append(CatalogIcon());
        if (!info)
            continue;
        if (!isSafeFileName(info->iconName)) {
            qCWarning(lcCatalog) << "Ignoring icon name:" << info->iconName << ",product:" << info->productId;
            continue;
        }
        const QString path = folder + info->iconName;
        if (isImageFile(path)) { // only the header is read here
            icons.last().file = path;
            continue;
        }
        if (info->iconUrl.isEmpty())
            continue; // an empty address cannot be fetched
        if (!addresses.contains(path)) {
            missing.append(path);
            addresses.insert(path, info->iconUrl);
        }
        waiting[path].append(int(icons.size()) - 1);
    }
    if (missing.isEmpty())
        return icons;

    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    bool changed = false; // the memory is written only when this start changed it
    QHash<QString, qint64> failures = recentFailures(now, &changed);
    QNetworkAccessManager manager; // one for all, so that connections are reused
    std::vector<std::pair<QString, std::unique_ptr<PlatformExchange::Pending>>> fetches;
    for (const QString &path : qAsConst(missing)) {
        const QString address = addresses.value(path);
        if (failures.contains(address)) {
            qCDebug(lcCatalog) << "Icon failed lately, not asked again yet:" << address;
            continue;
        }
        fetches.emplace_back(path, PlatformExchange::sendGet(address, PlatformExchange::maxImageBody, &manager));
    }
    for (auto &[path, pending] : fetches) {
        const PlatformExchange::Answer answer = pending->wait();
        const QImage image = answer.received ? writeImageFile(answer.body, path) : QImage();
        if (image.isNull()) {
            failures.insert(addresses.value(path), now);
            changed = true;
            continue;
        }
        const QPixmap pixmap = QPixmap::fromImage(image);
        for (int index : waiting.value(path))
            icons[index].picture = pixmap;
    }
    if (changed)
        storeFailures(failures);
    return icons;
}

void fillCatalog(const std::function<void(const ProductInfo &, const CatalogIcon &)> &addItem)
{
    qCDebug(lcCatalog) << "MyContext::productInfoList::size============:" << MyContext::productInfoList.size();
    // Copy the list: the callback must not be able to invalidate the iteration.
    const QList<ProductInfo *> entries = MyContext::productInfoList;
    QList<QPointer<ProductInfo>> guarded; // the icon fetch lets other events run
    for (ProductInfo *info : entries)
        guarded.append(info);
    const QList<CatalogIcon> icons = loadCatalogIcons(entries);
    for (int i = 0; i < guarded.size(); ++i) {
        if (guarded.at(i))
            addItem(*guarded.at(i), icons.at(i));
    }
}
