#pragma once

#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QString>

class QBoxLayout;
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
    // The name in `nameFont`, the description in `descriptionFont` (the interface's fonts when the tile
    // is made), each completed from the tile's font by useTileFont().
    TileFace(const QFont &nameFont, const QFont &descriptionFont);
    TileFace(const TileFace &) = delete;
    TileFace &operator=(const TileFace &) = delete;

    // Adds the places to `layout` (which owns them): icon, `iconGap`, name, `nameGap`, description.
    void addTo(QBoxLayout *layout, int iconGap, int nameGap);
    // Sets what the places show, after addTo(); the icon is scaled down to fit its place. The layout
    // is to be invalidated then.
    void set(const QString &name, const QString &description, const QPixmap &icon);
    // What the fonts leave open comes from the tile's font, as for a label: call it after addTo() and
    // whenever the tile's font changes, then invalidate the layout.
    void useTileFont(const QFont &tileFont);

    QString name() const { return m_name; }
    QString description() const { return m_description; }
    QPixmap icon() const { return m_icon; }

    // The places, in the tile's coordinates, once the layout has set them.
    QRect iconRect() const;
    QRect nameRect() const;
    QRect descriptionRect() const;
    bool contains(const QPoint &pos) const;

    // Paints icon, name and description with the tile's style, as labels of them would.
    void paint(QPainter &painter, const QWidget *tile) const;

private:
    QString m_name;
    QString m_description;
    QPixmap m_icon;
    class TextPlace;

    const QFont m_nameFontAsGiven;
    const QFont m_descriptionFontAsGiven;
    QFont m_nameFont;
    QFont m_descriptionFont;
    // The places, owned by the tile's layout.
    QLayoutItem *m_iconPlace = nullptr;
    TextPlace *m_namePlace = nullptr;
    TextPlace *m_descriptionPlace = nullptr;
};
