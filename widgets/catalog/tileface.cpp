#include "widgets/catalog/tileface.h"

#include "widgets/catalog/tilelook.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QLayoutItem>
#include <QPainter>
#include <QStyle>
#include <QWidget>

namespace {

// A place in the tile's layout for a part the tile paints. It takes the room a label of that part would:
// a label's control type (for the style's spacing between items), no growing beyond its hint.
class FacePlace : public QLayoutItem
{
public:
    QSize minimumSize() const override { return sizeHint(); }
    QSize maximumSize() const override { return QSize(QLAYOUTSIZE_MAX, QLAYOUTSIZE_MAX); }
    Qt::Orientations expandingDirections() const override { return {}; }
    bool isEmpty() const override { return false; }
    QSizePolicy::ControlTypes controlTypes() const override { return QSizePolicy::Label; }
    void setGeometry(const QRect &rect) override { m_rect = rect; }
    QRect geometry() const override { return m_rect; }

private:
    QRect m_rect;
};

// The icon's place: the icon's size, centred in the width the layout gives.
class IconPlace : public FacePlace
{
public:
    QSize sizeHint() const override { return QSize(TileLook::iconSize, TileLook::iconSize); }
    QSize maximumSize() const override { return QSize(QLAYOUTSIZE_MAX, TileLook::iconSize); }
};

} // namespace

// A text's place: as high as the text laid out in the width it is given, less `padding` on either side,
// when it wraps; else as high as its lines (one, unless it holds line breaks). An empty text takes a
// line's spacing, as an empty label does. It paints the text in its font and colour.
class TileFace::TextPlace : public FacePlace
{
public:
    TextPlace(const QFont &font, const char *color, bool wraps, int padding)
        : m_fontAsGiven(font)
        , m_font(font)
        , m_color(QLatin1String(color))
        , m_wraps(wraps)
        , m_padding(padding)
    {
    }

    QString text() const { return m_text; }
    void setText(const QString &text)
    {
        m_text = text;
        invalidate();
    }
    void useTileFont(const QFont &tileFont)
    {
        m_font = m_fontAsGiven.resolve(tileFont);
        invalidate();
    }

    QSize sizeHint() const override { return QSize(0, heightForWidth(TileLook::columnWidth)); }
    bool hasHeightForWidth() const override { return m_wraps; }
    int heightForWidth(int width) const override
    {
        if (!m_wraps)
            width = 2000; // as wide as a label lays out a line that does not wrap
        if (width != m_measuredWidth) {
            m_measuredWidth = width;
            const QFontMetrics metrics(m_font);
            const QRect room(0, 0, width - 2 * m_padding, 2000);
            m_height = m_text.isEmpty() ? metrics.lineSpacing()
                                        : metrics.boundingRect(room, m_wraps ? Qt::TextWordWrap : 0, m_text).height();
        }
        return m_height;
    }
    void invalidate() override { m_measuredWidth = -1; }

    // As a label of the text would paint it, clipped to the place.
    void paint(QPainter &painter, const QWidget *tile) const
    {
        QPalette palette = tile->palette();
        palette.setColor(QPalette::WindowText, m_color);
        painter.setClipRect(geometry());
        painter.setFont(m_font);
        // A label takes its text's direction from the text.
        const int direction = m_text.isRightToLeft() ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight;
        tile->style()->drawItemText(&painter, geometry().adjusted(m_padding, 0, -m_padding, 0),
                                    Qt::AlignCenter | direction | (m_wraps ? Qt::TextWordWrap : 0), palette, true,
                                    m_text, QPalette::WindowText);
    }

private:
    const QFont m_fontAsGiven;
    QFont m_font;
    QString m_text;
    const QColor m_color;
    const bool m_wraps;
    const int m_padding;
    mutable int m_measuredWidth = -1;
    mutable int m_height = 0;
};

TileFace::TileFace(QBoxLayout *layout, const QFont &nameFont, const QFont &descriptionFont, int iconGap,
                   int nameGap)
    : m_layout(layout)
    , m_iconPlace(new IconPlace)
    , m_namePlace(new TextPlace(nameFont, TileLook::nameColor, false, 0))
    , m_descriptionPlace(new TextPlace(descriptionFont, TileLook::descriptionColor, true, TileLook::descriptionPadding))
{
    layout->addItem(m_iconPlace);
    layout->addSpacing(iconGap);
    layout->addItem(m_namePlace);
    layout->addSpacing(nameGap);
    layout->addItem(m_descriptionPlace);
}

void TileFace::set(const QString &name, const QString &description, const QPixmap &icon)
{
    m_namePlace->setText(name);
    m_descriptionPlace->setText(description);
    const int side = TileLook::iconSize;
    m_icon = icon.isNull() ? QPixmap() : icon.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_layout->invalidate();
}

void TileFace::useTileFont(const QFont &tileFont)
{
    m_namePlace->useTileFont(tileFont);
    m_descriptionPlace->useTileFont(tileFont);
    m_layout->invalidate();
}

QString TileFace::name() const
{
    return m_namePlace->text();
}

QString TileFace::description() const
{
    return m_descriptionPlace->text();
}

QRect TileFace::iconRect() const
{
    // Centred as a layout centres a widget: any odd pixel goes to the right.
    const QRect place = m_iconPlace->geometry();
    const int side = TileLook::iconSize;
    return QRect(place.x() + (place.width() - side) / 2, place.y(), side, qMin(side, place.height()));
}

QRect TileFace::nameRect() const
{
    return m_namePlace->geometry();
}

QRect TileFace::descriptionRect() const
{
    return m_descriptionPlace->geometry();
}

bool TileFace::contains(const QPoint &pos) const
{
    return iconRect().contains(pos) || nameRect().contains(pos) || descriptionRect().contains(pos);
}

void TileFace::paint(QPainter &painter, const QWidget *tile) const
{
    painter.save();
    painter.setClipRect(iconRect());
    tile->style()->drawItemPixmap(&painter, iconRect(), Qt::AlignCenter, m_icon);
    m_namePlace->paint(painter, tile);
    m_descriptionPlace->paint(painter, tile);
    painter.restore();
}
