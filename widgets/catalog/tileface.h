#pragma once

#include <QPixmap>
#include <QRect>
#include <QString>

class QBoxLayout;
class QFont;
class QLayoutItem;
class QPainter;
class QWidget;

// The part of a tile that only shows: the application's icon, name and description, painted by the
// tile in places its layout keeps for them. A place takes what a label of its content would in the
// layout (so the tile looks as with labels), without a widget of its own: a tile's first paint costs
// less that way, and a page has many tiles.
class TileFace
{
public:
    // Adds the places to `layout` (which owns them): icon, `iconGap`, name, `nameGap`, description.
    // The name is in `nameFont`, the description in `descriptionFont` (the interface's fonts when the
    // tile is made), each completed from the tile's font by useTileFont().
    TileFace(QBoxLayout *layout, const QFont &nameFont, const QFont &descriptionFont, int iconGap, int nameGap);
    TileFace(const TileFace &) = delete;
    TileFace &operator=(const TileFace &) = delete;

    // Sets what the places show; the icon is scaled down to fit its place.
    void set(const QString &name, const QString &description, const QPixmap &icon);
    // What the fonts leave open comes from the tile's font, as for a label: again whenever it changes.
    void useTileFont(const QFont &tileFont);

    QString name() const;
    QString description() const;
    QPixmap icon() const { return m_icon; }

    // The places, in the tile's coordinates, once the layout has set them.
    QRect iconRect() const;
    QRect nameRect() const;
    QRect descriptionRect() const;
    bool contains(const QPoint &pos) const;

    // Paints icon, name and description with the tile's style, as labels of them would.
    void paint(QPainter &painter, const QWidget *tile) const;

private:
    class TextPlace;

    QBoxLayout *m_layout;
    QPixmap m_icon;
    // The places, owned by the layout.
    QLayoutItem *m_iconPlace;
    TextPlace *m_namePlace;
    TextPlace *m_descriptionPlace;
};
