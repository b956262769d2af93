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
// line's spacing, as an empty label does.
class TileFace::TextPlace : public FacePlace
{
public:
    TextPlace(bool wraps, int padding)
        : m_wraps(wraps)
        , m_padding(padding)
    {
    }

    void setText(const QString &text)
    {
        m_text = text;
        invalidate();
    }
    void setFont(const QFont &font)
    {
        m_font = font;
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

    int padding() const { return m_padding; }

private:
    QFont m_font;
    QString m_text;
    const bool m_wraps;
    const int m_padding;
    mutable int m_measuredWidth = -1;
    mutable int m_height = 0;
};

TileFace::TileFace(const QFont &nameFont, const QFont &descriptionFont)
    : m_nameFontAsGiven(nameFont)
    , m_descriptionFontAsGiven(descriptionFont)
    , m_nameFont(nameFont)
    , m_descriptionFont(descriptionFont)
{
}

void TileFace::addTo(QBoxLayout *layout, int iconGap, int nameGap)
{
    m_iconPlace = new IconPlace;
    m_namePlace = new TextPlace(false, 0);
    m_descriptionPlace = new TextPlace(true, TileLook::descriptionPadding);
    layout->addItem(m_iconPlace);
    layout->addSpacing(iconGap);
    layout->addItem(m_namePlace);
    layout->addSpacing(nameGap);
    layout->addItem(m_descriptionPlace);
}

void TileFace::set(const QString &name, const QString &description, const QPixmap &icon)
{
    m_name = name;
    m_description = description;
    m_namePlace->setText(name);
    m_descriptionPlace->setText(description);
    const int side = TileLook::iconSize;
    m_icon = icon.isNull() ? QPixmap() : icon.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void TileFace::useTileFont(const QFont &tileFont)
{
    m_nameFont = m_nameFontAsGiven.resolve(tileFont);
    m_descriptionFont = m_descriptionFontAsGiven.resolve(tileFont);
    if (!m_namePlace)
        return; // before addTo()
    m_namePlace->setFont(m_nameFont);
    m_descriptionPlace->setFont(m_descriptionFont);
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
    QStyle *style = tile->style();
    painter.save();
    painter.setClipRect(iconRect());
    style->drawItemPixmap(&painter, iconRect(), Qt::AlignCenter, m_icon);

    const auto text = [&](const QRect &place, int padding, const QFont &font, const char *color, int flags,
                          const QString &content) {
        QPalette palette = tile->palette();
        palette.setColor(QPalette::WindowText, QColor(QLatin1String(color)));
        painter.setClipRect(place);
        painter.setFont(font);
        // A label takes its text's direction from the text.
        const int direction = content.isRightToLeft() ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight;
        style->drawItemText(&painter, place.adjusted(padding, 0, -padding, 0), Qt::AlignCenter | direction | flags,
                            palette, true, content, QPalette::WindowText);
    };
    text(nameRect(), 0, m_nameFont, TileLook::nameColor, 0, m_name);
    text(descriptionRect(), m_descriptionPlace->padding(), m_descriptionFont, TileLook::descriptionColor,
         Qt::TextWordWrap, m_description);
    painter.restore();
}
