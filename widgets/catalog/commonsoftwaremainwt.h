#pragma once

#include "core/catalog/catalogfill.h"

#include <QPixmap>
#include <QWidget>

#include <vector>

class QGridLayout;
class QScrollArea;
class QSpacerItem;

// The catalog page: a vertically scrolling grid of application tiles, four per row. A tile is made
// when its row first comes into view; until then an empty space of the tile's size keeps its place in
// the grid, so the page scrolls as if every tile were there.
class CommonSoftwareMainWT : public QWidget
{
    Q_OBJECT
public:
    explicit CommonSoftwareMainWT(QWidget *parent = nullptr);

    void addItem(const QString &zhName, const QString &zhDesc, const QPixmap &pixmap, const QString &pathName,
                 const QString &version, const QString &downloadUrl);
    // The same, with an icon that is read only when its tile is made, and the installer's SHA-256 when
    // the catalog gives one.
    void addItem(const QString &zhName, const QString &zhDesc, const CatalogIcon &icon, const QString &pathName,
                 const QString &version, const QString &downloadUrl, const QString &sha256 = {});

    QGridLayout *grid() const { return m_gridLayout; }
    QScrollArea *scrollArea() const { return m_scrollArea; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // What addItem was given, kept until the tile is made.
    struct Entry
    {
        QString zhName;
        QString zhDesc;
        CatalogIcon icon;
        QString pathName;
        QString version;
        QString downloadUrl;
        QString sha256;
        QSpacerItem *placeholder = nullptr; // null once the tile is made
    };

    // Makes the tiles of the rows in view.
    void makeTilesInView();
    void makeTile(int index, const QPixmap &icon);

    std::vector<Entry> m_entries;
    int m_firstPlaceholder = 0; // tiles are made in order: every entry before this one has its tile
    QScrollArea *m_scrollArea;
    QWidget *m_container;
    QGridLayout *m_gridLayout;
};
