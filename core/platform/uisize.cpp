#include "core/platform/uisize.h"

#include "core/platform/mycontext.h"

namespace {
QSize pick(const QSize &small, const QSize &normal)
{
    return MyContext::isSmall ? small : normal;
}
} // namespace

namespace UiSize {

QSize mainWindow()
{
    return pick({1100, 730}, {1400, 900});
}
QSize footerMargin()
{
    return pick({20, 20}, {30, 25});
}
QSize noticeDialog()
{
    return pick({400, 160}, {450, 200});
}
QSize noticeButton()
{
    return pick({110, 35}, {120, 45});
}
QSize noticeMargins()
{
    return pick({25, 20}, {30, 25});
}
QSize titleIcon()
{
    return pick({35, 35}, {45, 45});
}
QSize titleTextButton()
{
    return pick({80, 45}, {100, 50});
}
QSize windowButton()
{
    return pick({40, 45}, {45, 60});
}
QSize accountPopup()
{
    return pick({260, 300}, {300, 300});
}
QSize signInDialog()
{
    return pick({330, 380}, {400, 480});
}
QSize signInHeader()
{
    return pick({300, 40}, {400, 45});
}
QSize dialogCloseButton()
{
    return pick({40, 40}, {45, 45});
}
QSize qrCodeImage()
{
    return pick({350, 260}, {380, 260});
}
QSize contactBox()
{
    return pick({130, 70}, {180, 80});
}

} // namespace UiSize
