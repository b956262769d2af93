#include "widgets/catalog/tilelook.h"

#include "core/platform/mycontext.h"

#include <QLabel>
#include <QPushButton>

QPushButton *TileLook::button(const QString &text, const char *objectName, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(objectName));
    button->setFixedHeight(controlHeight);
    button->setFont(MyContext::normalFont);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel *TileLook::label(const char *objectName, bool largeFont, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(objectName));
    label->setFont(largeFont ? MyContext::largeFont : MyContext::normalFont);
    label->setAlignment(Qt::AlignCenter);
    return label;
}
