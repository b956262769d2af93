#pragma once

#include <QImage>
#include <QList>
#include <QMutex>
#include <QPixmap>
#include <QString>
#include <QVector>
#include <QWaitCondition>

#include <functional>
#include <memory>

class ProductInfo;
class QThread;

// An entry's icon: a file in the icon folder, read when the icon is first shown, or a picture just
// downloaded; neither when the entry has no icon.
struct CatalogIcon
{
    QString file;
    QPixmap picture;

    QPixmap load() const;
};

// Reads the files of several icons on a thread of its own, in their order, while the caller does
// other work (makes the tiles that show them); take() hands each over as load() would, waiting for
// its file when needed. The destructor waits for the thread.
class CatalogIconReader
{
public:
    explicit CatalogIconReader(const QVector<CatalogIcon> &icons);
    ~CatalogIconReader();
    CatalogIconReader(const CatalogIconReader &) = delete;
    CatalogIconReader &operator=(const CatalogIconReader &) = delete;

    QPixmap take(int index);

private:
    const QVector<CatalogIcon> m_icons;
    QVector<QImage> m_images; // read from the files, under m_mutex
    int m_read = 0; // how many of the icons the thread has been through, under m_mutex
    QMutex m_mutex;
    QWaitCondition m_oneRead;
    std::unique_ptr<QThread> m_thread;
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
