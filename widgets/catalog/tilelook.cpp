#include "widgets/catalog/tilelook.h"

#include "core/platform/mycontext.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

QPushButton *TileLook::button(const QString &text, const char *objectName, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(objectName));
    button->setFixedHeight(controlHeight);
    button->setFont(MyContext::normalFont);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel *TileLook::label(const char *objectName, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(objectName));
    label->setFont(MyContext::normalFont);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

int TileLook::widthFor(const QWidget *control, const QString &text)
{
    int frame = control->width() - control->contentsRect().width();
    if (const auto *button = qobject_cast<const QPushButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        frame = option.rect.width() -
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    }
    return control->fontMetrics().horizontalAdvance(text) + frame + 2 * textMargin;
}
